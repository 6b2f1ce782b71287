#include "cli/check.h"

#include <algorithm>
#include <optional>

#include "cli/check_link.h"
#include "cli/plan.h"
#include "cli/route.h"
#include "cli/session.h"
#include "net/interfaces.h"
#include "protocol/hex.h"
#include "protocol/shown_name.h"

namespace melvorin::cli {

namespace {

// The unit the check is for: the one --device names, or the only one that
// answered. Raises UsageError when that is not one unit.
std::optional<DeviceReport> ChosenUnit(const std::vector<DeviceReport>& devices,
                                       const std::optional<DeviceChoice>& choice) {
    const std::vector<DeviceReport> units = choice ? ChosenUnits(devices, *choice) : devices;
    if (units.size() > 1 && choice) throw UsageError(AmbiguityMessage(*choice, units));
    if (units.size() > 1) {
        std::string names;
        for (const DeviceReport& u : units) {
            if (!names.empty()) names += "; ";
            names += UnitHead(u.address, u.mac, u.vendor, u.interfaceName);
        }
        throw UsageError(std::to_string(units.size()) + " devices answered the scan: " + names +
                         ". Name the one to check with --device");
    }
    if (units.empty()) return std::nullopt;
    return units.front();
}

std::string HexList(const std::vector<TIdBytes>& datagrams) {
    std::string out = "[";
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        if (i) out += ", ";
        out += JsonString(Hex(datagrams[i]));
    }
    return out + "]";
}

// The first datagram, cut after 24 bytes, and how many more there were.
std::string SeenLine(const std::vector<TIdBytes>& seen) {
    if (seen.empty()) return "nothing";
    constexpr std::size_t kShown = 24;
    const TIdBytes& first = seen.front();
    std::string out = Hex(TIdBytes(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(
                                                                      std::min(first.size(), kShown))),
                          ' ');
    if (first.size() > kShown) out += " ... (" + std::to_string(first.size()) + " bytes)";
    if (seen.size() > 1) out += ", and " + std::to_string(seen.size() - 1) + (seen.size() == 2 ? " more datagram" : " more datagrams");
    return out;
}

std::size_t Count(const std::vector<CaseReport>& cases, CaseResult result) {
    return static_cast<std::size_t>(
        std::count_if(cases.begin(), cases.end(), [result](const CaseReport& c) { return c.result == result; }));
}

}  // namespace

int RunCheck(const Options& opt, const std::vector<unsigned>& interfaces, const CheckOutput& out) {
    const std::optional<DeviceChoice> choice = opt.device ? ParseDeviceChoice(*opt.device) : std::nullopt;
    std::vector<DeviceReport> devices;
    {
        Session session(opt.port, interfaces);
        if (out.prepare) out.prepare(session);
        session.Scan(opt.scanTimeout, choice);
        devices = session.Devices();
    }  // local port 12345 is free again for the check's own endpoint
    std::optional<DeviceReport> unit = ChosenUnit(devices, choice);
    // A unit named by its address is checked even when no reply of it was
    // accepted: what is wrong with its replies is for the cases to tell.
    const bool unaccepted = !unit && choice && choice->address;
    if (unaccepted) {
        unit = DeviceReport{};
        unit->address = *choice->address;
        unit->interfaceIndex = InterfaceTowards(unit->address);
        if (unit->interfaceIndex != 0) unit->interfaceName = net::InterfaceName(unit->interfaceIndex);
    }
    const auto silent = [&] {
        out.note(choice ? "device " + choice->text + " did not answer the scan"
                        : "no device answered the scan on port " + std::to_string(opt.port));
        return kExitTimeout;
    };
    if (!unit) return silent();
    UnitLink link(opt.port, *unit);
    if (out.wireLog) link.SetWireLog(out.wireLog);
    if (unaccepted) {
        const std::optional<std::vector<NetworkRow>> networks = ListedBy(link, opt.timeout);
        if (!networks) return silent();
        out.note("device " + choice->text + " sent no list reply a station accepts; it is checked all the same");
        unit->networks = *networks;
        devices.push_back(*unit);
    }
    CheckPlan plan;
    plan.wait = opt.timeout;
    for (const DeviceReport& d : devices) {
        for (const NetworkRow& n : d.networks) plan.listed.push_back(n.raw);
    }
    if (opt.secured) {
        const auto named = std::find_if(unit->networks.begin(), unit->networks.end(),
                                        [&opt](const NetworkRow& n) { return NamedBy(n, *opt.secured); });
        if (named == unit->networks.end()) {
            throw UsageError("--secured: " + UnitHead(unit->address, unit->mac, unit->vendor, unit->interfaceName) +
                             " lists no network called \"" + *opt.secured + "\"; nothing but the scan was sent");
        }
        if (named->raw.size() + 7 > 251) throw UsageError("--secured: that network's name is too long for a join request");
        plan.secured = named->raw;
    }
    const std::vector<CaseReport> cases = RunCases(link, plan);
    const int code = Count(cases, CaseResult::Fail) > 0 ? kExitFailure : kExitOk;
    out.print(opt.json ? CheckJson(*unit, cases, code) : CheckTable(*unit, cases));
    return code;
}

std::string CheckJson(const DeviceReport& unit, const std::vector<CaseReport>& cases, int exitCode) {
    // In steps: GCC 12 warns falsely at -O3 of "{" + a temporary string.
    std::string out = "{";
    out += Field("device", DeviceJson(unit));
    out += ", \"cases\": [";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const CaseReport& c = cases[i];
        out += i ? ", {" : "{";
        out += Field("name", JsonString(c.name));
        out += ", " + Field("result", JsonString(CaseResultWord(c.result)));
        out += ", " + Field("detail", JsonString(c.detail));
        out += ", " + Field("bytes", HexList(c.seen));
        out += ", " + Field("sent", HexList(c.sent)) + "}";
    }
    return out + "], " + Field("failed", std::to_string(Count(cases, CaseResult::Fail))) + ", " +
           Field("exit_code", std::to_string(exitCode)) + "}\n";
}

std::string CheckTable(const DeviceReport& unit, const std::vector<CaseReport>& cases) {
    std::string out = "check of " + DeviceLine(unit) + "\n";
    for (const CaseReport& c : cases) {
        std::string head = CaseResultWord(c.result);
        head.resize(8, ' ');
        std::string name = c.name;
        name.resize(std::max<std::size_t>(name.size() + 2, 22), ' ');
        out += head + name + ShowName(c.detail).text + "\n";
        out += "        seen: " + SeenLine(c.seen) + "\n";
    }
    return out + std::to_string(cases.size()) + " cases: " + std::to_string(Count(cases, CaseResult::Pass)) +
           " passed, " + std::to_string(Count(cases, CaseResult::Fail)) + " failed, " +
           std::to_string(Count(cases, CaseResult::Policy)) + " the unit's policy, " +
           std::to_string(Count(cases, CaseResult::Skipped)) + " skipped\n";
}

}  // namespace melvorin::cli

namespace melvorin::cli {

std::string CheckUsageText() {
    return R"(
check  the conformance check of one unit, for the makers of its firmware:
       scans, takes the unit that --device names (or the only one that
       answers; several are refused, exit code 2) and sends it the cases
       below, by broadcast out of its link as the window sends (one named by
       its IPv4 address even when a station accepts none of its replies).
       Each case is printed with its result and the first bytes the unit
       sent back (with --json: "device", and "cases", each with "name",
       "result", "detail", "bytes" seen and "sent", every datagram in
       hexadecimal).
  list-reply            a scan request is answered by a list reply: size,
                        lead byte, checksum, command 81, length byte
  list-records          its records each end in 0D 0A, as many as its count
                        byte says, each read back by a station as sent
  ignores-bad-lead      a scan request with lead byte FE, one with a wrong
  ignores-bad-checksum  checksum, and a frame of command 81 (a list reply's)
  ignores-bad-command   go unanswered, and a scan request after each is
                        answered
  wrong-length          a scan request whose length byte says 255: answered
                        or ignored (the unit's policy), then one answered
  join-unlisted-ssid    a join request for a made-up network no unit listed:
                        a well-formed join result (its verdict is the unit's
                        policy, told), then a scan request answered
  join-bad-key          the same for the network of --secured
  join-length-255       the same for a join request of 259 bytes, length
                        byte 255, the largest a station sends
  burst                 16 scan requests at once: all answered passes, some
                        is the unit's policy, none fails; then one more
       Results: pass, fail, policy (either answer is right: told, not
       failed) and skipped. Each join request carries a key no network of
       WPA2 or WEP takes (7 bytes, one a control character; 239 bytes in the
       largest), never a real key. A list reply does not say whether a
       network is open, and a unit joins an open network whatever the key:
       so join-bad-key, the one join request for a listed network, goes only
       to the network named by --secured, which you know needs a key (WPA2
       or later); without it that case is skipped. The timeout (--timeout,
       default 1) is how long each reply is waited for, and how long one
       that must not come; a request that must be answered is sent up to 3
       times. check takes --device and --scan-timeout as join does.
check only:
  --secured NAME       a network the unit lists (named as scan shows it)
                       that needs a key: the one join-bad-key is sent for
Exit codes of check: 0 no case failed; 1 a case failed, or another failure
as above; 2 bad usage, or several devices answered and no --device; 3 no
device answered the scan, or not the one --device names.
)";
}

}  // namespace melvorin::cli
