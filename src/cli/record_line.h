#pragma once

// The line join --record appends for each addressed unit: one JSON object,
// its strings written as the join's JSON writes them. The key is never in it.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "cli/report.h"
#include "protocol/bytes.h"
#include "units/record.h"

namespace melvorin::cli {

// What every line of one run shares.
struct RecordRun {
    std::string station;  // the host name
    std::string program;  // "melvorin-cli 0.2.0"
    std::string ssid;     // as the join's JSON has it
    TIdBytes raw;         // the network's bytes ("ssid_hex")
};

// {"time": ..., "station": ..., "interface": ..., "address": ..., "mac": ...,
// "vendor": ..., "ssid": ..., "ssid_hex": ..., "verdict": ..., "message": ...,
// "program": ..., "sealed": ..., "online": ...}, without a line break;
// "online" null: the unit's result, written as it comes. A unit that came
// online (--online) gets a second line after it: its "verdict" "online" and
// "online" the address it announced.
std::string RecordLine(const RecordRun& run, const JoinReport& result, std::chrono::system_clock::time_point when);

// Appends a line for each result, stamped now; false, told to `note`, when
// the file cannot take them.
bool AppendRecords(units::RecordFile& file, const RecordRun& run, const std::vector<JoinReport>& results,
                   const std::function<void(const std::string&)>& note);

}  // namespace melvorin::cli
