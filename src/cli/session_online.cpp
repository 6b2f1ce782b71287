// The session's wait for the online announcements of the units a join
// accepted: each matched to its unit's join by its hardware address, and
// after a sealed join by the join's tag.

#include <algorithm>

#include "cli/session.h"
#include "protocol/online.h"
#include "seal/online_match.h"
#include "units/hardware_address.h"

namespace melvorin::cli {

namespace {

std::string DottedAddress(const std::array<std::uint8_t, 4>& ipv4) {
    return std::to_string(ipv4[0]) + "." + std::to_string(ipv4[1]) + "." + std::to_string(ipv4[2]) + "." +
           std::to_string(ipv4[3]);
}

}  // namespace

void Session::AwaitOnline(const std::vector<UnitKey>& units, double seconds) {
    {
        const std::lock_guard<std::mutex> lock(lock_);
        for (const UnitKey& unit : units) {
            const auto result = results_.find(unit);
            if (result != results_.end() && result->second.verdict == Verdict::Accepted && result->second.mac &&
                !result->second.online) {
                awaitedOnline_.insert(unit);
            }
        }
        if (awaitedOnline_.empty()) return;
        phase_ = Phase::Online;
    }
    WaitUntil(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
              [this] { return awaitedOnline_.empty(); });
    const std::lock_guard<std::mutex> lock(lock_);
    awaitedOnline_.clear();
    phase_ = Phase::Idle;
}

bool Session::OnOnlineRead(const TIdBytes& data, const net::TIdSocketHandle& binding) {
    std::optional<std::string> forged;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        if (phase_ != Phase::Online) return false;
        const std::optional<TOnline> online = ParseOnline(data);
        if (!online) return true;
        for (const UnitKey& unit : awaitedOnline_) {
            JoinReport& result = results_.at(unit);
            const std::optional<units::HardwareAddress> mac = units::ParseHardwareAddress(*result.mac);
            if (!mac || mac->octets != online->mac) continue;
            seal::OnlineMatch match = seal::OnlineMatch::NotOurs;
            if (!result.sealed) {
                match = seal::MatchOnline({mac->octets, std::nullopt, {}}, *online);
            } else {
                auto sealed = sealed_.find(unit);
                if (sealed == sealed_.end()) sealed = sealed_.find({0, unit.address});
                if (sealed == sealed_.end()) continue;
                // Each sealed frame the unit got (resends too) had its own
                // sender and token: the announcement's token says which join
                // it speaks of, and only that join's tag proves it.
                for (const seal::Sender& sender : sealed->second.senders) {
                    match = seal::MatchOnline({mac->octets, sender, online->token}, *online);
                    if (match == seal::OnlineMatch::Ours) break;
                }
            }
            if (match == seal::OnlineMatch::Forged) forged = *result.mac;
            if (match != seal::OnlineMatch::Ours) continue;
            result.online = Online{DottedAddress(online->ipv4), binding.PeerInterface, result.sealed};
            awaitedOnline_.erase(unit);
            changed_.notify_all();
            break;
        }
    }
    if (forged && OnForgedOnline) OnForgedOnline(*forged);
    return true;
}

}  // namespace melvorin::cli
