// Bench mode's side of the session: list replies and join results kept as
// they come, for the thread that runs the bench to take in turn.

#include <algorithm>

#include "cli/session.h"
#include "protocol/frame.h"

namespace melvorin::cli {

namespace {

// A unit not heard for this long may have been taken off: the next reply
// from its link and address may be another unit's.
constexpr std::chrono::milliseconds kSilence{2500};

constexpr std::size_t kBacklog = 4096;

// Results of units whose hardware address is still to be read, held until
// it is, to be matched to a unit awaited on another link.
constexpr std::size_t kStrays = 64;

}  // namespace

void Session::StartWatching() { SetPhase(Phase::Watching); }

void Session::SendWatchJoin(const JoinRequest& request) {
    {
        const std::lock_guard<std::mutex> lock(lock_);
        awaited_.insert(request.units.begin(), request.units.end());
    }
    SendJoin(request);
}

void Session::StopAwaiting(const std::vector<UnitKey>& units) {
    const std::lock_guard<std::mutex> lock(lock_);
    for (const UnitKey& unit : units) {
        awaited_.erase(unit);
        sealed_.erase(unit);
    }
}

void Session::OnWatchRead(TDatagramKind kind, const UnitKey& from, std::vector<NetworkRow> rows,
                          const std::optional<TJoinResult>& result, const net::TIdSocketHandle& binding,
                          const TIdBytes& data) {
    // Replies the bench's thread has not taken yet are held for at most
    // 4096 units (a bench's units answer in far fewer): beyond that, a flood
    // of them is dropped.
    if (kind == TDatagramKind::ListReply && watchLists_.size() < kBacklog) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point* last = watchDevices_.HeardAt(from);
        const bool fresh = last == nullptr || now - *last > kSilence;
        DeviceReport& device = watchDevices_.Hear(from, now);
        watchDevices_.Trim(now, [](const UnitKey&, const DeviceReport&) {});  // never the newest
        if (fresh) {
            device.mac.reset();
            device.vendor.reset();
            watchFresh_.insert(from);
        }
        device.address = binding.PeerIP;
        device.interfaceName = binding.PeerInterface;
        device.interfaceIndex = binding.PeerInterfaceIndex;
        device.networks = std::move(rows);
        device.advert = seal::FindAdvert(data);
        NoteOffer(from, data);
        std::stable_sort(device.networks.begin(), device.networks.end(),
                         [](const NetworkRow& a, const NetworkRow& b) { return a.strength > b.strength; });
        watchLists_.insert(from);
        changed_.notify_all();
    }
    if (!result) return;
    JoinReport report;
    report.address = binding.PeerIP;
    report.interfaceName = binding.PeerInterface;
    report.verdict = VerdictOf(result->verdict);
    report.message = result->text;
    // The first result since the request counts; one of a unit nobody waits
    // for (an earlier unit's late answer) does not. A unit heard on two links
    // is awaited on the one it was joined on, and answers on either: by its
    // hardware address, or, while that is still to be read, once it is.
    const DeviceReport* heard = watchDevices_.Find(from);
    std::optional<UnitKey> unit;
    if (awaited_.count(from) != 0) {
        if (!Vouches(from, data, report)) return;
        awaited_.erase(from);
        unit = from;
    } else if (heard != nullptr && heard->mac) {
        unit = TakeAwaited(*heard->mac, data, report);
    } else if (heard != nullptr && !awaited_.empty() && watchStrays_.size() < kStrays) {
        watchStrays_.push_back({from, std::move(report), data});
    }
    if (unit) TakeResult(*unit, std::move(report), watchResults_);
    if (unit) changed_.notify_all();
}

std::optional<UnitKey> Session::TakeAwaited(const std::string& mac, const TIdBytes& result, JoinReport& report) {
    for (auto it = awaited_.begin(); it != awaited_.end(); ++it) {
        const DeviceReport* joined = watchDevices_.Find(*it);
        if (joined != nullptr && joined->mac == mac) {
            if (!Vouches(*it, result, report)) return std::nullopt;
            const UnitKey unit = *it;
            awaited_.erase(it);
            return unit;
        }
    }
    return std::nullopt;
}

void Session::TakeResult(const UnitKey& unit, JoinReport report, std::vector<std::pair<UnitKey, JoinReport>>& into) {
    if (const DeviceReport* scanned = watchDevices_.Find(unit)) {
        report.address = scanned->address;
        report.interfaceName = scanned->interfaceName;
        report.mac = scanned->mac;
        report.vendor = scanned->vendor;
    }
    into.emplace_back(unit, std::move(report));
}

Session::WatchEvents Session::WaitWatchEvents(Clock::time_point deadline) {
    std::set<UnitKey> lists, fresh;
    std::vector<std::pair<UnitKey, JoinReport>> results;
    std::vector<Stray> strays;
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait_until(lock, deadline, [this] { return !watchLists_.empty() || !watchResults_.empty(); });
        lists.swap(watchLists_);
        fresh.swap(watchFresh_);
        results.swap(watchResults_);
        strays.swap(watchStrays_);
    }
    // One reading of the neighbour table for the units that may be new.
    std::map<UnitKey, std::pair<std::string, std::optional<std::string>>> learnt;
    if (!fresh.empty()) learnt = LookUp({fresh.begin(), fresh.end()});
    WatchEvents events;
    const std::lock_guard<std::mutex> lock(lock_);
    for (const UnitKey& key : lists) {
        DeviceReport* device = watchDevices_.Find(key);
        if (device == nullptr) continue;  // forgotten meanwhile
        const auto it = learnt.find(key);
        if (it != learnt.end() && !device->mac) std::tie(device->mac, device->vendor) = it->second;
        events.lists.push_back(*device);
        events.fresh.push_back(fresh.count(key) != 0);
    }
    for (Stray& stray : strays) {
        const DeviceReport* device = watchDevices_.Find(stray.from);
        const std::optional<UnitKey> unit =
            device != nullptr && device->mac ? TakeAwaited(*device->mac, stray.result, stray.report) : std::nullopt;
        if (unit) TakeResult(*unit, std::move(stray.report), results);
    }
    for (auto& [key, report] : results) {
        const DeviceReport* device = watchDevices_.Find(key);
        if (device != nullptr && !report.mac) {
            report.mac = device->mac;
            report.vendor = device->vendor;
        }
        events.resultUnits.push_back(key);
        events.results.push_back(std::move(report));
    }
    return events;
}

}  // namespace melvorin::cli
