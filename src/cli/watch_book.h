#pragma once

// Bench mode's memory of the units it has seen: which one to join when it
// answers a scan, and what became of each. A unit is its hardware address
// where known, else its link and address, so a unit taken off and another put
// on at the same address is a new unit, while one that stays is joined once.
// Not thread-safe: the thread that runs the bench owns it.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/report.h"

namespace melvorin::cli {

class WatchBook {
public:
    // The unit `device` answered a scan; `offers` says whether its list holds
    // the network. True when it is to be joined now: it is new, or its last
    // join ended without a result; never while a join is on its way.
    bool Answered(const DeviceReport& device, bool offers);
    // The join of that unit ended with `verdict`.
    void Finished(const DeviceReport& device, Verdict verdict);

    struct Summary {
        std::size_t units = 0;     // units joined at least once
        std::size_t accepted = 0;
        std::size_t refused = 0;   // key_format or ssid_not_found
        std::size_t noResult = 0;  // no result yet, or the last join gave none
        int exitCode = 0;          // as join's over every unit; 3 when none came
    };
    Summary Summarise() const;

private:
    // "24:6f:28:00:00:01", or "wlan0 192.168.4.1" when the hardware address
    // is not known.
    static std::string KeyOf(const DeviceReport& device);

    struct Unit {
        bool joining = false;
        std::optional<Verdict> verdict;
    };
    // Finds the unit, taking over the entry made under its link and address
    // before its hardware address was known.
    Unit* Find(const DeviceReport& device);

    std::map<std::string, Unit> units_;
};

}  // namespace melvorin::cli
