#pragma once

// Which join goes sealed, in clear or not at all (seal::DecideSeal), for
// each unit a join is planned for: from the seal its list reply offered, the
// key pinned to its hardware address, --code and --require-seal. No sockets
// here; the pins are read and written through the store.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/plan.h"
#include "protocol/bytes.h"
#include "units/pins.h"

namespace melvorin::cli {

struct SealRules {
    const units::PinStore* pins = nullptr;  // none: nothing is pinned yet
    std::optional<std::string> code;        // --code: the label code of the unit's key
    bool requireSeal = false;               // --require-seal
};

// Seals each target whose unit offered the seal (its frame built anew to the
// unit's key, with a fresh token), and marks the ones that get nothing
// (refused, with why: returned, each naming its unit). Raises UsageError,
// before anything is sent, when --code names another key than the one a
// unit offers.
std::vector<std::string> SealTargets(std::vector<Target>& targets, const SealRules& rules, const TIdBytes& key);

// Pins the key of each target sealed at first sight (or to the key --code
// named); false, told to `note`, when the pins cannot be written.
bool PinSealed(const std::vector<Target>& targets, units::PinStore& pins,
               const std::function<void(const std::string&)>& note);

// The pins in the user's state folder; none, told to `note`, when there is
// no such folder (no HOME): nothing is pinned then. Raises units::PinError
// when the file cannot be read.
std::optional<units::PinStore> OpenPins(const std::function<void(const std::string&)>& note);

// "pins list" or "pins forget MAC": the exit code.
int RunPins(const Options& opt, const std::function<void(const std::string&)>& print,
            const std::function<void(const std::string&)>& note);

// "pins list": one line each (hardware address, label code, key), or one
// JSON document.
std::string PinsTable(const units::PinStore& pins);
std::string PinsJson(const units::PinStore& pins);

// "pins list [--json]", "pins forget MAC": the arguments after the program
// name. Raises UsageError.
Options ParsePinsArgs(const std::vector<std::string>& args);
// The part of UsageText() about the sealed join and the pins.
std::string SealUsageText();

}  // namespace melvorin::cli
