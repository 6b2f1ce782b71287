#pragma once

// The line join --record appends for each addressed unit: one JSON object,
// its strings written as the join's JSON writes them. The key is never in it.

#include <chrono>
#include <string>

#include "cli/report.h"
#include "protocol/bytes.h"

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
// "program": ...}, without a line break.
std::string RecordLine(const RecordRun& run, const JoinReport& result, std::chrono::system_clock::time_point when);

}  // namespace melvorin::cli
