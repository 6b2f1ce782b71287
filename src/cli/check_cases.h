#pragma once

// The cases of the conformance check (melvorin-cli check): what is sent to
// the unit, what its replies must look like, and what it told. Nothing sent
// can put a unit onto a network: every join request names a network the unit
// did not list or carries a key that no WPA2 network takes, and the listed
// network of the key case is one the user named as needing a key.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/report.h"
#include "protocol/bytes.h"

namespace melvorin::cli {

class UnitLink;

// pass and fail; policy: the unit chose one of the acceptable answers (told,
// not failed); skipped: not run.
enum class CaseResult { Pass, Fail, Policy, Skipped };
const char* CaseResultWord(CaseResult result);

struct CaseReport {
    std::string name;
    CaseResult result = CaseResult::Pass;
    std::string detail;
    std::vector<TIdBytes> sent;
    std::vector<TIdBytes> seen;  // the unit's datagrams, as they came
};

struct CheckPlan {
    // How long to wait for a reply, and for one that must not come.
    double wait = 1.0;
    // Every network any unit listed in the scan before: the check's own
    // network name is unlike all of them.
    std::vector<TIdBytes> listed;
    // The listed network that needs a key (--secured); none skips the key
    // case.
    std::optional<TIdBytes> secured;
};

// The networks of the unit's reply to a scan request as far as a station
// reads them, acceptance aside (for a unit whose replies a station does not
// accept); nothing when it sent none.
std::optional<std::vector<NetworkRow>> ListedBy(UnitLink& link, double wait);

// Runs every case against the unit, in order.
std::vector<CaseReport> RunCases(UnitLink& link, const CheckPlan& plan);

// Why `frame` is no well-formed reply with `command` as a station reads it
// ("" when it is one): size, lead byte, checksum, command, length byte.
std::string FrameProblem(const TIdBytes& frame, std::uint8_t command);
// Why the records of a list reply are not what a station reads back ("" when
// they are); `records` gets their number.
std::string RecordsProblem(const TIdBytes& reply, std::size_t& records);

// A network name no unit listed: none of `listed` begins with it, nor it with
// one of them.
TIdBytes UnlistedSsid(const std::vector<TIdBytes>& listed);

}  // namespace melvorin::cli
