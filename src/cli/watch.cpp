#include "cli/watch.h"

#include <algorithm>
#include <map>
#include <vector>

#include "cli/options.h"
#include "cli/sealing.h"
#include "cli/watch_book.h"
#include "net/interfaces.h"
#include "net/local_listeners.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/shown_name.h"

namespace melvorin::cli {

namespace {

using Clock = Session::Clock;
using namespace std::chrono_literals;

// How often the stop request is looked at while nothing else happens.
constexpr auto kPoll = 100ms;
// How long a unit may stay silent before scan --watch says it went.
constexpr auto kGone = 3500ms;

struct Pending {
    DeviceReport unit;
    Target target;  // as sealed, or refused
    JoinRequest request;
    TIdBytes raw;
    std::string shown;
    int sent = 0;
    Clock::time_point nextSend, deadline;
};

// The request for `device` when it offers the network; nothing else.
// `broadcast`: the interfaces a request can go out of, read once a round.
std::optional<Pending> PlanFor(const JoinWatch& watch, const DeviceReport& device,
                               const std::vector<net::TIdInterface>& broadcast) {
    if (watch.choice && !Chooses(*watch.choice, device)) return std::nullopt;
    Pending p;
    p.unit = device;
    std::optional<Target> target;
    if (watch.hidden || watch.ssidBytes) {
        p.raw = watch.ssidBytes ? *watch.ssidBytes : TIdBytes(watch.ssid.begin(), watch.ssid.end());
        const bool listed = std::any_of(device.networks.begin(), device.networks.end(),
                                        [&p](const NetworkRow& n) { return n.raw == p.raw; });
        if (!watch.hidden && !listed) return std::nullopt;
        p.shown = watch.ssidBytes ? BytesToText(p.raw) : watch.ssid;
        target = TargetOf(device, p.raw, watch.key, broadcast);
    } else {
        NetworkPlan plan = PlanByName({device}, watch.ssid, watch.key, broadcast);
        if (plan.targets.empty()) return std::nullopt;
        target = plan.targets.front();
        p.raw = plan.raw;
        p.shown = plan.shown;
    }
    std::vector<Target> sealing{*target};
    SealTargets(sealing, watch.seal, watch.key);
    p.target = std::move(sealing.front());
    if (!p.target.refused) p.request = GroupByLink({p.target}, watch.unicast).front();
    return p;
}

std::string SummaryText(const WatchBook::Summary& s) {
    return std::to_string(s.units) + (s.units == 1 ? " unit: " : " units: ") + std::to_string(s.accepted) +
           " accepted, " + std::to_string(s.refused) + " refused, " + std::to_string(s.noResult) + " no result";
}

std::string SummaryJson(const WatchBook::Summary& s) {
    return "{\"summary\": {\"units\": " + std::to_string(s.units) + ", \"accepted\": " + std::to_string(s.accepted) +
           ", \"refused\": " + std::to_string(s.refused) + ", \"no_result\": " + std::to_string(s.noResult) +
           ", \"exit_code\": " + std::to_string(s.exitCode) + "}}";
}

// A note of a unit's last try.
std::string LastTryNote(const DeviceReport& unit, int tries) {
    return unit.address + (unit.mac ? " (" + *unit.mac + ")" : std::string()) +
           (unit.interfaceName.empty() ? std::string() : " on " + unit.interfaceName) + ": no result after " +
           std::to_string(tries) + (tries == 1 ? " try" : " tries") + "; not tried again";
}

// Sends a join request; false when it could not go out. What stops every
// send (another user's program on the port) ends the bench.
bool Send(Session& session, const JoinRequest& request, const WatchOutput& out, const std::string& failed) {
    try {
        session.SendWatchJoin(request);
        return true;
    } catch (const net::EOtherListeners&) {
        throw;
    } catch (const net::EIdLocalListeners&) {
        throw;
    } catch (const Exception& e) {
        out.note(failed + e.Message());
        return false;
    }
}

}  // namespace

int WatchJoins(Session& session, const JoinWatch& watch, const WatchOutput& out) {
    session.StartWatching();
    WatchBook book(WatchBook::Limits{65536, std::chrono::hours(1), watch.maxTries});
    std::map<UnitKey, Pending> pending;
    bool recordFailed = false;
    const auto finish = [&](const UnitKey& key, const JoinReport& result) {
        const auto it = pending.find(key);
        if (it == pending.end()) return;
        session.StopAwaiting({key});
        const bool last = book.Finished(it->second.unit, result.verdict, Clock::now());
        out.print(out.json ? ResultJson(result) : ResultLine(result));
        if (watch.onResult && !recordFailed) recordFailed = !watch.onResult(result, it->second.raw, it->second.shown);
        if (last) out.note(LastTryNote(it->second.unit, watch.maxTries));
        pending.erase(it);
    };
    const auto noResult = [&pending](const DeviceReport& unit) {
        JoinReport report{unit.address, unit.interfaceName, Verdict::NoResult, "", unit.mac, unit.vendor, false, {}};
        const auto it = pending.find(KeyOf(unit));
        report.sealed = it != pending.end() && it->second.target.sender.has_value();
        return report;
    };

    Clock::time_point nextScan = Clock::now();
    std::optional<Clock::time_point> stopAt;
    while (!recordFailed) {
        Clock::time_point now = Clock::now();
        if (!stopAt && out.stopRequested()) stopAt = now + 1s;
        if (stopAt && (pending.empty() || now >= *stopAt)) break;
        if (!stopAt && now >= nextScan) {
            session.SendScan();
            nextScan = std::max(nextScan + 1s, now);
        }
        Clock::time_point wake = std::min(stopAt.value_or(nextScan), now + kPoll);
        std::vector<UnitKey> expired;
        for (auto& [key, p] : pending) {
            if (now >= p.deadline) {
                expired.push_back(key);
                continue;
            }
            if (!stopAt && now >= p.nextSend && p.sent <= watch.retries) {
                // A sealed resend waits for a fresh nonce from the unit's next list reply.
                if (session.SealAnew(p.request)) {
                    if (!Send(session, p.request, out, "the join request was not sent again: ")) p.sent = watch.retries;
                    ++p.sent;
                }
                p.nextSend += 1s;
            }
            wake = std::min({wake, p.deadline, p.nextSend});
        }
        for (const UnitKey& key : expired) finish(key, noResult(pending.at(key).unit));

        const Session::WatchEvents events = session.WaitWatchEvents(wake);
        for (std::size_t i = 0; i < events.results.size(); ++i) finish(events.resultUnits[i], events.results[i]);
        if (stopAt || recordFailed) continue;
        const std::vector<net::TIdInterface> broadcast =
            events.lists.empty() ? std::vector<net::TIdInterface>() : net::BroadcastInterfaces();
        now = Clock::now();
        for (std::size_t i = 0; i < events.lists.size(); ++i) {
            const DeviceReport& device = events.lists[i];
            std::optional<Pending> plan = PlanFor(watch, device, broadcast);
            if (!book.Answered(device, plan.has_value(), events.fresh[i], now)) continue;
            const UnitKey key = KeyOf(device);
            plan->sent = 1;
            plan->nextSend = now + 1s;
            plan->deadline = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(watch.timeout));
            pending[key] = std::move(*plan);
            const Target& target = pending[key].target;
            if (target.refused) {
                out.note(UnitHead(device.address, device.mac, device.vendor, device.interfaceName) + ": " + target.refusal);
                finish(key, JoinReport{device.address, device.interfaceName, *target.refused, target.refusal, device.mac,
                                       device.vendor, false, {}});
            } else if (!Send(session, pending[key].request, out, "")) {
                finish(key, noResult(device));
            } else if (watch.pins && target.pinNow) {
                PinSealed({target}, *watch.pins, out.note);
            }
        }
    }
    if (recordFailed) {
        out.note("no more units are joined: their results could not be recorded");
        return kExitFailure;
    }
    for (auto it = pending.begin(); it != pending.end(); it = pending.begin()) finish(it->first, noResult(it->second.unit));

    const WatchBook::Summary summary = book.Summarise();
    out.note(SummaryText(summary));
    if (out.json) out.print(SummaryJson(summary));
    return recordFailed ? kExitFailure : summary.exitCode;
}

int WatchScan(Session& session, const WatchOutput& out) {
    session.StartWatching();
    struct Present {
        DeviceReport unit;
        Clock::time_point heard;
    };
    std::map<UnitKey, Present> present;
    bool any = false;
    const auto tell = [&out](const char* event, const DeviceReport& unit) {
        out.print(out.json ? std::string("{\"event\": \"") + event + "\", \"device\": " + DeviceJson(unit) + "}"
                           : std::string(event) + " " + DeviceLine(unit));
    };
    Clock::time_point nextScan = Clock::now();
    while (!out.stopRequested()) {
        Clock::time_point now = Clock::now();
        if (now >= nextScan) {
            session.SendScan();
            nextScan = std::max(nextScan + 1s, now);
        }
        const Session::WatchEvents events = session.WaitWatchEvents(std::min(nextScan, now + kPoll));
        now = Clock::now();
        for (std::size_t i = 0; i < events.lists.size(); ++i) {
            const DeviceReport& unit = events.lists[i];
            const auto it = present.find(KeyOf(unit));
            if (it != present.end() && events.fresh[i] && it->second.unit.mac != unit.mac) {
                tell("went", it->second.unit);  // another unit stands at its link and address now
                present.erase(it);
            }
            auto [entry, added] = present.try_emplace(KeyOf(unit), Present{unit, now});
            if (added) tell("came", unit);
            entry->second.heard = now;
            any = true;
        }
        for (auto it = present.begin(); it != present.end();) {
            if (now - it->second.heard <= kGone) {
                ++it;
                continue;
            }
            tell("went", it->second.unit);
            it = present.erase(it);
        }
    }
    return any ? kExitOk : kExitTimeout;
}

}  // namespace melvorin::cli
