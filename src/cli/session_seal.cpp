// The session's side of the sealed join: the senders of each unit's sealed
// frames, whose tag its result must bear, and the nonces its list replies
// offer, each spent by one join.

#include <algorithm>

#include "cli/session.h"

namespace melvorin::cli {

namespace {

// How long a resend waits for the fresh offer a scan request asked for.
constexpr std::chrono::milliseconds kOfferWait{500};

}  // namespace

void Session::NoteSealedSend(const JoinRequest& request) {
    if (!request.sender || !request.advert || request.units.empty()) return;
    SealedUnit& unit = sealed_[request.units.front()];
    unit.senders.push_back(*request.sender);
    unit.spent.insert(request.advert->nonce);
}

void Session::NoteOffer(const UnitKey& from, const TIdBytes& listReply) {
    const auto unit = sealed_.find(from);
    if (unit == sealed_.end()) return;
    if (std::optional<seal::Advert> offer = seal::FindAdvert(listReply)) unit->second.offer = std::move(offer);
}

bool Session::Vouches(const UnitKey& unit, const TIdBytes& result, JoinReport& report) const {
    auto it = sealed_.find(unit);
    if (it == sealed_.end()) it = sealed_.find({0, unit.address});
    if (it == sealed_.end()) return true;
    const auto& senders = it->second.senders;
    // A forged or untagged verdict does not count.
    if (!std::any_of(senders.begin(), senders.end(),
                     [&result](const seal::Sender& s) { return seal::ResultIsTagged(s, result); })) {
        return false;
    }
    report.sealed = true;
    return true;
}

bool Session::SealAnew(JoinRequest& request) {
    if (!request.sender) return true;
    if (ResealKey == nullptr || request.units.empty()) return false;
    std::optional<seal::Advert> offer;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        const auto unit = sealed_.find(request.units.front());
        if (unit == sealed_.end() || !unit->second.offer || unit->second.spent.count(unit->second.offer->nonce)) {
            return false;
        }
        offer = unit->second.offer;
    }
    std::optional<seal::SealedJoin> sealed = seal::BuildSealedJoin(*offer, request.ssid, *ResealKey);
    if (!sealed) return false;
    request.frame.assign(sealed->frame.begin(), sealed->frame.end());
    request.sender = std::move(sealed->sender);
    request.advert = std::move(offer);
    return true;
}

std::vector<JoinRequest*> Session::Due(std::vector<JoinRequest>& requests, bool resend, Clock::time_point end) {
    std::vector<JoinRequest*> due, stale;
    for (JoinRequest& request : requests) {
        if (resend) {
            const std::lock_guard<std::mutex> lock(lock_);
            if (std::none_of(request.units.begin(), request.units.end(),
                             [this](const UnitKey& u) { return awaited_.count(u) != 0; })) {
                continue;
            }
        }
        // A nonce opens one join: each resend is sealed anew.
        if (resend && !SealAnew(request)) {
            stale.push_back(&request);
            continue;
        }
        due.push_back(&request);
    }
    if (stale.empty()) return due;
    SendScan();
    const auto fresh = [this, &stale] {
        return std::all_of(stale.begin(), stale.end(), [this](const JoinRequest* r) {
            const auto unit = sealed_.find(r->units.front());
            return unit != sealed_.end() && unit->second.offer && !unit->second.spent.count(unit->second.offer->nonce);
        });
    };
    WaitUntil(std::min(end, Clock::now() + kOfferWait), fresh);
    for (JoinRequest* request : stale) {
        if (SealAnew(*request)) due.push_back(request);
    }
    return due;
}

}  // namespace melvorin::cli
