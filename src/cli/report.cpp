#include "cli/report.h"

#include <cstdio>

#include "cli/options.h"
#include "protocol/shown_name.h"
#include "protocol/utf8.h"
#include "units/hardware_address.h"

namespace melvorin::cli {

namespace {

// Each verdict's word in the JSON and the table, and its exit code.
struct VerdictFacts {
    const char* word;
    int exitCode;
};

VerdictFacts FactsOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Accepted: return {"accepted", kExitOk};
    case Verdict::KeyFormat: return {"key_format", kExitKeyFormat};
    case Verdict::SsidNotFound: return {"ssid_not_found", kExitNotFound};
    case Verdict::DowngradeRefused: return {"downgrade_refused", kExitFailure};
    case Verdict::NotSealed: return {"not_sealed", kExitFailure};
    case Verdict::NoResult: break;
    }
    return {"no_result", kExitTimeout};
}

}  // namespace

const char* VerdictWord(Verdict verdict) { return FactsOf(verdict).word; }

bool Answered(Verdict verdict) {
    return verdict != Verdict::NoResult && verdict != Verdict::DowngradeRefused && verdict != Verdict::NotSealed;
}

int VerdictExitCode(Verdict verdict) { return FactsOf(verdict).exitCode; }

int CombinedExitCode(const std::vector<JoinReport>& results) {
    for (const int code : {kExitFailure, kExitKeyFormat, kExitNotFound, kExitTimeout}) {
        for (const JoinReport& r : results) {
            if (VerdictExitCode(r.verdict) == code) return code;
        }
    }
    return kExitOk;
}

namespace {

// Characters a terminal showing the JSON could act on: C0 and C1 controls
// (U+009B is CSI), DEL, and the bidirectional controls.
bool Escaped(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    // A name typed on the command line may hold any bytes; JSON holds UTF-8.
    const std::string valid = ValidUtf8(text);
    for (std::size_t i = 0, length = 0; i < valid.size(); i += length) {
        const char32_t c = DecodeUtf8(valid, i, length);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (Escaped(c)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.append(valid, i, length);
        }
    }
    return out + "\"";
}

Verdict VerdictOf(JoinVerdict verdict) {
    switch (verdict) {
    case JoinVerdict::Accepted:
        return Verdict::Accepted;
    case JoinVerdict::KeyFormat:
        return Verdict::KeyFormat;
    case JoinVerdict::SsidNotFound:
        break;
    }
    return Verdict::SsidNotFound;
}

std::string Field(const char* name, const std::string& jsonValue) {
    std::string out = "\"";
    out += name;
    out += "\": ";
    out += jsonValue;
    return out;
}

std::string Nullable(const std::optional<std::string>& text) { return text ? JsonString(*text) : "null"; }

namespace {

// Text from the network or the system, as people read it: hiding characters
// as markers, nothing raw to the terminal.
std::string Shown(const std::string& text) { return text.empty() ? "-" : ShowName(text).text; }

// A network's name for people, with its bytes when the name alone cannot
// tell it apart (as the window's tooltip has them).
std::string ShownWithBytes(const std::string& caption, const TIdBytes& raw) {
    const ShownName shown = ShowName(caption);
    return NeedsBytes(shown, raw) ? shown.text + "  (" + Hex(raw) + ")" : shown.text;
}

// Added after the fields that were there before, so that readers of those
// find them where they were.
std::string UnitFields(const std::optional<std::string>& mac, const std::optional<std::string>& vendor) {
    return ", " + Field("mac", Nullable(mac)) + ", " + Field("vendor", Nullable(vendor));
}

std::string Dropped(long long dropped) {
    return ", " + Field("dropped", dropped < 0 ? std::string("null") : std::to_string(dropped));
}

// A unit's object up to its first own field: "{" with its address and link.
std::string UnitObjectStart(const std::string& address, const std::string& interfaceName) {
    std::string out = "{";
    out += Field("address", JsonString(address));
    out += ", ";
    out += Field("interface", JsonString(interfaceName));
    return out;
}

}  // namespace

std::string UnitHead(const std::string& address, const std::optional<std::string>& mac,
                     const std::optional<std::string>& vendor, const std::string& interfaceName) {
    std::string unit;
    if (mac) {
        const std::optional<units::HardwareAddress> hardware = units::ParseHardwareAddress(*mac);
        unit = " (" + *mac;
        if (vendor) {
            unit += ", " + ShowName(*vendor).text;
        } else if (hardware && units::IsLocallyAdministered(*hardware)) {
            unit += ", locally administered";
        }
        unit += ")";
    }
    return address + unit + " on " + Shown(interfaceName);
}

std::string DeviceJson(const DeviceReport& dev) {
    std::string out = UnitObjectStart(dev.address, dev.interfaceName);
    out += ", \"networks\": [";
    for (std::size_t n = 0; n < dev.networks.size(); ++n) {
        const NetworkRow& net = dev.networks[n];
        out += n ? ", {" : "{";
        out += Field("ssid", JsonString(net.ssid)) + ", " + Field("ssid_hex", JsonString(Hex(net.raw))) + ", " +
               Field("strength", std::to_string(net.strength)) + "}";
    }
    return out + "]" + UnitFields(dev.mac, dev.vendor) + "}";
}

std::string DeviceLine(const DeviceReport& dev) {
    return UnitHead(dev.address, dev.mac, dev.vendor, dev.interfaceName) + ": " + std::to_string(dev.networks.size()) +
           (dev.networks.size() == 1 ? " network" : " networks");
}

std::string ResultJson(const JoinReport& r) {
    std::string out = UnitObjectStart(r.address, r.interfaceName);
    out += ", ";
    out += Field("verdict", JsonString(VerdictWord(r.verdict)));
    out += ", ";
    out += Field("message", JsonString(r.message));
    out += UnitFields(r.mac, r.vendor);
    out += ", " + Field("sealed", r.sealed ? "true" : "false") + ", " + Field("online", OnlineJson(r.online));
    return out + "}";
}

std::string OnlineJson(const std::optional<Online>& online) {
    if (!online) return "null";
    return UnitObjectStart(online->address, online->interfaceName) + ", " +
           Field("authenticated", online->authenticated ? "true" : "false") + "}";
}

std::string ResultLine(const JoinReport& r) {
    const bool sent = r.verdict != Verdict::DowngradeRefused && r.verdict != Verdict::NotSealed;
    return UnitHead(r.address.empty() ? "-" : r.address, r.mac, r.vendor, r.interfaceName) + ": " +
           VerdictWord(r.verdict) + (sent ? (r.sealed ? " (sealed)" : " (in clear)") : "") +
           (r.message.empty() ? "" : "  " + ShowName(r.message).text) +
           (r.online ? "\n  online at " + r.online->address + " on " + Shown(r.online->interfaceName) +
                           (r.online->authenticated ? "" : " (unauthenticated)")
                     : "");
}

std::string ScanJson(const std::vector<DeviceReport>& devices, long long dropped) {
    std::string out = "{\"devices\": [";
    for (std::size_t d = 0; d < devices.size(); ++d) {
        if (d) out += ", ";
        out += DeviceJson(devices[d]);
    }
    return out + "]" + Dropped(dropped) + "}\n";
}

std::string ScanTable(const std::vector<DeviceReport>& devices) {
    std::string out;
    for (const DeviceReport& dev : devices) {
        out += DeviceLine(dev) + "\n";
        for (const NetworkRow& net : dev.networks) {
            char strength[16];
            std::snprintf(strength, sizeof strength, "%5d%%  ", net.strength);
            out += strength + ShownWithBytes(net.ssid, net.raw) + "\n";
        }
    }
    return out;
}

std::string JoinJson(const std::string& ssid, const TIdBytes& raw, const std::vector<JoinReport>& results,
                     int exitCode, long long dropped) {
    std::string out = "{";
    out += Field("ssid", JsonString(ssid));
    out += ", ";
    out += Field("ssid_hex", JsonString(Hex(raw)));
    out += ", \"results\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i) out += ", ";
        out += ResultJson(results[i]);
    }
    return out + "], " + Field("exit_code", std::to_string(exitCode)) + Dropped(dropped) + "}\n";
}

std::string JoinTable(const std::string& ssid, const TIdBytes& raw, const std::vector<JoinReport>& results) {
    std::string out = "network " + ShowName(ssid).text + " (" + (raw.empty() ? std::string("not found") : Hex(raw)) + ")\n";
    for (const JoinReport& r : results) out += ResultLine(r) + "\n";
    return out;
}

}  // namespace melvorin::cli
