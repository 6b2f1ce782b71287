#include "cli/sealing.h"

#include "cli/options.h"
#include "protocol/hex.h"
#include "seal/choice.h"
#include "seal/label_code.h"
#include "units/hardware_address.h"

namespace melvorin::cli {

namespace {

std::string UnitOf(const Target& t) { return UnitHead(t.unit.address, t.mac, t.vendor, t.interfaceName); }

std::string CodeMismatch(const Target& t, const std::string& code) {
    return "--code " + code + ": the unit " + UnitOf(t) +
           (t.advert ? " offers the key of label code " + seal::LabelCode(t.advert->public_key)
                     : " offers no sealed join") +
           ", not the one of the code given. Nothing was sent";
}

}  // namespace

std::vector<std::string> SealTargets(std::vector<Target>& targets, const SealRules& rules, const TIdBytes& key) {
    std::vector<seal::SealDecision> decisions;
    for (const Target& t : targets) {
        std::optional<seal::Bytes> pinned;
        if (rules.pins && t.mac) {
            if (const auto found = rules.pins->Find(*t.mac)) pinned = seal::Bytes(found->begin(), found->end());
        }
        decisions.push_back(seal::DecideSeal(t.advert, pinned, rules.code, rules.requireSeal));
        // Before anything is built or sent.
        if (decisions.back().choice == seal::SealChoice::CodeMismatch) throw UsageError(CodeMismatch(t, *rules.code));
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Target& t = targets[i];
        switch (decisions[i].choice) {
        case seal::SealChoice::Sealed: {
            std::optional<seal::SealedJoin> sealed = seal::BuildSealedJoin(*t.advert, t.ssid, key);
            if (!sealed) {
                throw UsageError("the network name (" + std::to_string(t.ssid.size()) + " bytes) and the key (" +
                                 std::to_string(key.size()) + " bytes) are too long for a sealed join: together at most " +
                                 std::to_string(seal::kMaxSsidAndKey) + ". Nothing was sent");
            }
            t.frame.assign(sealed->frame.begin(), sealed->frame.end());
            t.sender = std::move(sealed->sender);
            t.pinNow = decisions[i].pinNow && t.mac.has_value();
            break;
        }
        case seal::SealChoice::DowngradeRefused:
            t.refused = Verdict::DowngradeRefused;
            t.refusal = t.advert ? "the unit offers another key than the one pinned to it; refused to send the key"
                                 : "the unit offered a sealed join before; refused to send the key in clear";
            break;
        case seal::SealChoice::NotSealed:
            t.refused = Verdict::NotSealed;
            t.refusal = "the unit offers no sealed join, and --require-seal refuses to send the key in clear";
            break;
        case seal::SealChoice::Clear:
        case seal::SealChoice::CodeMismatch:
            break;
        }
    }
    std::vector<std::string> refused;
    for (const Target& t : targets) {
        if (t.refused) refused.push_back(UnitOf(t) + ": " + t.refusal);
    }
    return refused;
}

bool PinSealed(const std::vector<Target>& targets, units::PinStore& pins,
               const std::function<void(const std::string&)>& note) {
    try {
        for (const Target& t : targets) {
            if (t.pinNow && t.mac && t.advert) pins.Pin(*t.mac, t.advert->public_key);
        }
    } catch (const units::PinError& e) {
        note(e.what());
        return false;
    }
    return true;
}

std::optional<units::PinStore> OpenPins(const std::function<void(const std::string&)>& note) {
    std::string path;
    try {
        path = units::PinStore::DefaultPath();
    } catch (const units::PinError& e) {
        note(std::string(e.what()) + ": no unit's key is pinned or checked");
        return std::nullopt;
    }
    return units::PinStore(path);
}

int RunPins(const Options& opt, const std::function<void(const std::string&)>& print,
            const std::function<void(const std::string&)>& note) {
    units::PinStore pins(units::PinStore::DefaultPath());
    if (!opt.forget) {
        print(opt.json ? PinsJson(pins) : PinsTable(pins));
        return kExitOk;
    }
    if (pins.Forget(*opt.forget)) return kExitOk;
    note("no key is pinned to " + *opt.forget + " in \"" + pins.Path() + "\"");
    return kExitFailure;
}

std::string PinsTable(const units::PinStore& pins) {
    std::string out;
    for (const auto& [mac, key] : pins.All()) {
        out += mac + "  " + seal::LabelCode(key) + "  " + Hex(key) + "\n";
    }
    return out;
}

std::string PinsJson(const units::PinStore& pins) {
    std::string out = "{\"pins\": [";
    bool first = true;
    for (const auto& [mac, key] : pins.All()) {
        out += first ? "{" : ", {";
        first = false;
        out += Field("mac", JsonString(mac)) + ", " + Field("label_code", JsonString(seal::LabelCode(key))) + ", " +
               Field("key", JsonString(Hex(key))) + "}";
    }
    return out + "], " + Field("file", JsonString(pins.Path())) + "}\n";
}

Options ParsePinsArgs(const std::vector<std::string>& args) {
    Options opt;
    opt.command = Command::Pins;
    const std::string action = args.size() > 1 ? args[1] : "";
    if (action == "list" && (args.size() == 2 || (args.size() == 3 && args[2] == "--json"))) {
        opt.json = args.size() == 3;
        return opt;
    }
    if (action == "forget" && args.size() == 3) {
        if (!units::ParseHardwareAddress(args[2])) {
            throw UsageError("pins forget: \"" + args[2] + "\" is no hardware address (24:6f:28:00:00:01)");
        }
        opt.forget = args[2];
        return opt;
    }
    throw UsageError("pins takes \"list [--json]\" or \"forget MAC\" (see --help)");
}

std::string SealUsageText() {
    return R"(
The sealed join: a device that offers it in its list reply gets the
network and key sealed to its own public key (HPKE), never in clear, and
its result counts only when it bears the join's tag. The first time a
device offers it, its key is pinned to its hardware address in the pins
file ($XDG_STATE_HOME/melvorin/pins, %LOCALAPPDATA%\melvorin\pins on
Windows); a pinned device that answers later without the seal, or with
another key, gets nothing: downgrade_refused, exit code 1.
  --code CODE          with --device: join it only when its key is the one
                       of CODE, the label code on the device
                       (XXXX-XXXX-...; any case, '-' optional), and pin
                       that key; another key, or none, sends nothing (exit
                       code 2)
  --require-seal       refuse every join in clear: a device that offers no
                       seal gets nothing (not_sealed, exit code 1). With
                       --ssid-hex and an IPv4 --device, --code and
                       --require-seal (or any pin) make the scan happen
pins list [--json]     the pinned devices: hardware address, label code and
                       key (in hexadecimal)
pins forget MAC        forget a device's key (exit code 1 when it had none,
                       2 for a malformed address), so that its next offer
                       is pinned afresh, after a repair or a reset
)";
}

}  // namespace melvorin::cli
