#pragma once

// Bench mode's memory of the units it has seen: which one to join when it
// answers a scan, and what became of each. A unit is its hardware address
// where known, else its link and address, so a unit taken off and another put
// on at the same address is a new unit, while one that stays is joined once,
// on whichever link it answers. A unit whose join gave no result is tried
// again after a growing wait. Units not heard for an hour are forgotten, and
// the longest unheard beyond a cap, so replies from ever new addresses cannot
// grow it without end. Not thread-safe: the thread that runs the bench owns it.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "cli/recent.h"
#include "cli/report.h"

namespace melvorin::cli {

class WatchBook {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::size_t cap = 65536;                         // units held at most
        Clock::duration forget = std::chrono::hours(1);  // unheard this long: forgotten
        int maxTries = 0;                                // joins without a result; 0: no end
    };
    explicit WatchBook(Limits limits) : limits_(limits), units_(limits.cap, limits.forget) {}
    WatchBook() : WatchBook(Limits{}) {}

    // The unit `device` answered a scan at `now`; `offers` says whether its
    // list holds the network, `fresh` whether it was heard anew after a
    // silence (so another unit may stand at its link and address). True when
    // it is to be joined now: it is new, or its last join ended without a
    // result and its wait is over; never while a join is on its way.
    bool Answered(const DeviceReport& device, bool offers, bool fresh, Clock::time_point now);
    // The join of that unit ended with `verdict`. True when that was its
    // last try: no result, and --max-tries reached.
    bool Finished(const DeviceReport& device, Verdict verdict, Clock::time_point now);

    // The wait after a unit's `tries`-th join without a result: 10 s, 30 s,
    // 90 s, then 5 minutes each.
    static Clock::duration RetryAfter(int tries);

    struct Summary {
        std::size_t units = 0;     // units joined at least once
        std::size_t accepted = 0;
        std::size_t refused = 0;   // key_format, ssid_not_found, downgrade_refused or not_sealed
        std::size_t noResult = 0;  // no result yet, or the last join gave none
        int exitCode = 0;          // as join's over every unit; 3 when none came
    };
    Summary Summarise() const;
    // Units held now.
    std::size_t Size() const { return units_.Size(); }

private:
    struct Unit {
        bool joining = false;
        std::optional<Verdict> verdict;
        int tries = 0;
        Clock::time_point nextTry;
    };
    // Finds the unit, taking over the entry made under its link and address
    // before its hardware address was known, unless it was heard anew since.
    Unit* Find(const DeviceReport& device, bool fresh, Clock::time_point now);
    // Counts a unit that goes from the book into the summary.
    void Retire(const Unit& unit);

    Limits limits_;
    RecentMap<std::string, Unit> units_;
    // Forgotten units, by their last verdict.
    std::size_t retired_[kVerdicts] = {};
};

}  // namespace melvorin::cli
