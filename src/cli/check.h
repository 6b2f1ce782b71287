#pragma once

// melvorin-cli check: the conformance check of one unit. Finds the unit by a
// scan (--device, or the only unit that answers), runs the cases of
// check_cases.h against it through an endpoint of its own, and prints each
// case with the bytes seen, as a table or as one JSON document.

#include <functional>
#include <string>
#include <vector>

#include "cli/check_cases.h"
#include "cli/options.h"
#include "cli/report.h"
#include "net/log.h"

namespace melvorin::cli {

class Session;

struct CheckOutput {
    std::function<void(const std::string&)> print;  // standard output
    std::function<void(const std::string&)> note;   // a message on standard error
    // Readies the scan's session (its messages, its wire log).
    std::function<void(Session&)> prepare;
    // The wire log of the check's own endpoint; unset: none.
    net::TIdLogEvent wireLog;
};

// Exit codes: 0 no case failed, 1 a case failed (or a socket failed), 2 bad
// usage or several units and no --device, 3 no unit answered the scan.
int RunCheck(const Options& opt, const std::vector<unsigned>& interfaces, const CheckOutput& out);

std::string CheckJson(const DeviceReport& unit, const std::vector<CaseReport>& cases, int exitCode);
std::string CheckTable(const DeviceReport& unit, const std::vector<CaseReport>& cases);

}  // namespace melvorin::cli
