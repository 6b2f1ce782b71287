#include "cli/watch_book.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "cli/options.h"

namespace melvorin::cli {

namespace {

// "24:6f:28:00:00:01", or "wlan0 192.168.4.1" when the hardware address is
// not known: hardware addresses hold no space.
std::string LinkKey(const DeviceReport& device) {
    return (device.interfaceName.empty() ? std::string("-") : device.interfaceName) + " " + device.address;
}

std::string KeyOf(const DeviceReport& device) { return device.mac ? *device.mac : LinkKey(device); }

}  // namespace

WatchBook::Clock::duration WatchBook::RetryAfter(int tries) {
    using std::chrono::seconds;
    return tries <= 1 ? seconds(10) : tries == 2 ? seconds(30) : tries == 3 ? seconds(90) : seconds(300);
}

WatchBook::Unit* WatchBook::Find(const DeviceReport& device, bool fresh, Clock::time_point now) {
    units_.Trim(now, [this](const std::string&, const Unit& unit) { Retire(unit); });
    if (units_.Find(KeyOf(device)) != nullptr) return &units_.Hear(KeyOf(device), now);
    if (!device.mac) return nullptr;
    // Seen before the neighbour table knew it, and not silent since: the
    // same unit. After a silence it may be another unit at that address,
    // which the old entry's verdict must not be handed to.
    const std::string early = LinkKey(device);
    Unit* unit = units_.Find(early);
    if (unit == nullptr || fresh) return nullptr;
    return &units_.Move(early, *device.mac, now);
}

bool WatchBook::Answered(const DeviceReport& device, bool offers, bool fresh, Clock::time_point now) {
    Unit* unit = Find(device, fresh, now);
    if (!offers) return false;
    if (unit == nullptr) {
        unit = &units_.Hear(KeyOf(device), now);
        units_.Trim(now, [this](const std::string&, const Unit& gone) { Retire(gone); });  // never the newest
    }
    if (unit->joining) return false;
    if (unit->verdict && *unit->verdict != Verdict::NoResult) return false;
    if (unit->verdict && (now < unit->nextTry || (limits_.maxTries > 0 && unit->tries >= limits_.maxTries))) {
        return false;
    }
    unit->joining = true;
    ++unit->tries;
    return true;
}

bool WatchBook::Finished(const DeviceReport& device, Verdict verdict, Clock::time_point now) {
    Unit* unit = units_.Find(KeyOf(device));
    if (unit == nullptr) {
        // Forgotten while its join was on its way.
        Unit gone;
        gone.verdict = verdict;
        Retire(gone);
        return false;
    }
    unit->joining = false;
    unit->verdict = verdict;
    unit->nextTry = now + RetryAfter(unit->tries);
    return verdict == Verdict::NoResult && limits_.maxTries > 0 && unit->tries >= limits_.maxTries;
}

void WatchBook::Retire(const Unit& unit) {
    // A unit forgotten while joining is counted when its join ends.
    if (!unit.joining) ++retired_[static_cast<int>(unit.verdict.value_or(Verdict::NoResult))];
}

WatchBook::Summary WatchBook::Summarise() const {
    std::size_t count[kVerdicts];
    std::copy(std::begin(retired_), std::end(retired_), std::begin(count));
    units_.ForEach([&count](const std::string&, const Unit& unit) {
        ++count[static_cast<int>(unit.verdict.value_or(Verdict::NoResult))];
    });
    Summary summary;
    std::vector<JoinReport> verdicts;
    for (int v = 0; v < kVerdicts; ++v) {
        const auto verdict = static_cast<Verdict>(v);
        const std::size_t n = count[static_cast<int>(verdict)];
        summary.units += n;
        (verdict == Verdict::Accepted ? summary.accepted
         : verdict == Verdict::NoResult ? summary.noResult : summary.refused) += n;
        if (n != 0) verdicts.push_back(JoinReport{"", "", verdict, "", {}, {}, false, {}});
    }
    summary.exitCode = verdicts.empty() ? kExitTimeout : CombinedExitCode(verdicts);
    return summary;
}

}  // namespace melvorin::cli
