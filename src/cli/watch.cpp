#include "cli/watch.h"

#include <algorithm>
#include <map>
#include <vector>

#include "cli/options.h"
#include "cli/watch_book.h"
#include "net/interfaces.h"
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
        target = TargetOf(device, JoinFrame(p.raw, watch.key), broadcast);
    } else {
        NetworkPlan plan = PlanByName({device}, watch.ssid, watch.key, broadcast);
        if (plan.targets.empty()) return std::nullopt;
        target = plan.targets.front();
        p.raw = plan.raw;
        p.shown = plan.shown;
    }
    p.request = GroupByLink({*target}, watch.unicast).front();
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

}  // namespace

int WatchJoins(Session& session, const JoinWatch& watch, const WatchOutput& out) {
    session.StartWatching();
    WatchBook book;
    std::map<UnitKey, Pending> pending;
    const auto finish = [&](const UnitKey& key, const JoinReport& result) {
        const auto it = pending.find(key);
        if (it == pending.end()) return;
        session.StopAwaiting({key});
        book.Finished(it->second.unit, result.verdict);
        out.print(out.json ? ResultJson(result) : ResultLine(result));
        if (watch.onResult) watch.onResult(result, it->second.raw, it->second.shown);
        pending.erase(it);
    };
    const auto noResult = [](const DeviceReport& unit) {
        return JoinReport{unit.address, unit.interfaceName, Verdict::NoResult, "", unit.mac, unit.vendor};
    };

    Clock::time_point nextScan = Clock::now();
    std::optional<Clock::time_point> stopAt;
    for (;;) {
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
                try {
                    session.SendWatchJoin(p.request);
                } catch (const Exception& e) {
                    out.note("the join request was not sent again: " + e.Message());
                    p.sent = watch.retries;
                }
                ++p.sent;
                p.nextSend += 1s;
            }
            wake = std::min({wake, p.deadline, p.nextSend});
        }
        for (const UnitKey& key : expired) finish(key, noResult(pending.at(key).unit));

        const Session::WatchEvents events = session.WaitWatchEvents(wake);
        for (std::size_t i = 0; i < events.results.size(); ++i) finish(events.resultUnits[i], events.results[i]);
        if (stopAt) continue;
        const std::vector<net::TIdInterface> broadcast =
            events.lists.empty() ? std::vector<net::TIdInterface>() : net::BroadcastInterfaces();
        for (const DeviceReport& device : events.lists) {
            std::optional<Pending> plan = PlanFor(watch, device, broadcast);
            if (!book.Answered(device, plan.has_value())) continue;
            const UnitKey key = KeyOf(device);
            now = Clock::now();
            plan->sent = 1;
            plan->nextSend = now + 1s;
            plan->deadline = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(watch.timeout));
            pending[key] = std::move(*plan);
            try {
                session.SendWatchJoin(pending[key].request);
            } catch (const Exception& e) {
                out.note(e.Message());
                finish(key, noResult(device));
            }
        }
    }
    for (auto it = pending.begin(); it != pending.end(); it = pending.begin()) finish(it->first, noResult(it->second.unit));

    const WatchBook::Summary summary = book.Summarise();
    out.note(SummaryText(summary));
    if (out.json) out.print(SummaryJson(summary));
    return summary.exitCode;
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
