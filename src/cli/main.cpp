// melvorin-cli scans for devices and puts them onto a network, for scripts.
// --help tells how.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iterator>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/check.h"
#include "cli/key.h"
#include "cli/key_warnings.h"
#include "cli/options.h"
#include "cli/plan.h"
#include "cli/record_line.h"
#include "cli/report.h"
#include "cli/route.h"
#include "cli/sealing.h"
#include "cli/session.h"
#include "cli/system.h"
#include "cli/watch.h"
#include "melvorin/version.h"
#include "net/errors.h"
#include "net/interfaces.h"
#include "net/wire_log.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/join.h"
#include "protocol/shown_name.h"
#include "units/hardware_address.h"
#include "units/pins.h"
#include "units/record.h"

namespace {

using namespace melvorin;
using namespace melvorin::cli;

constexpr const char* kProg = "melvorin-cli";

void Print(const std::string& text) { sys::Write(stdout, text); }

// Messages quote names, file names and arguments: they reach the terminal as
// names are shown, so none can move the cursor or rewrite the line.
void Note(const std::string& text) {
    sys::Write(stderr, std::string(kProg) + ": " + ShowName(text).text + "\n");
}

std::vector<unsigned> InterfaceIndexes(const Options& opt) {
    std::vector<unsigned> indexes;
    for (const std::string& name : opt.interfaces) {
        const unsigned index = BroadcastInterfaceIndex(name);
        if (index == 0) {
            throw UsageError("--interface: \"" + name +
                             "\" is no interface that can broadcast (up, not loopback, with an IPv4 address)");
        }
        indexes.push_back(index);
    }
    return indexes;
}

// Tells on stderr of each interface a request could not go out of while
// others took it, and of a receive buffer too small for a burst of replies.
void ReportSendFailuresOnStderr(Session& session) {
    session.OnSendFailure = [](const net::TIdSendFailure& failure) {
        std::string why;
        for (const char c : failure.Message) {
            if (c != '\r') why += c == '\n' ? ' ' : c;
        }
        Note("could not send on " + failure.Interface + ": " + why);
    };
    session.OnSmallReceiveBuffer = [](int held, const std::string& raise) {
        Note("the system gives each socket a receive buffer of " + std::to_string(held / 1024) + " KiB, not the " +
             std::to_string(net::TIdUDPServer::kReceiveBufferWanted / 1024) +
             " KiB asked for: replies of many devices at once may be dropped; '" + raise +
             "' (as root) raises the cap");
    };
}

// Tells on stderr of the datagrams the system dropped before they were
// read, and returns their count.
long long NoteDropped(Session& session) {
    const long long dropped = session.Dropped();
    if (dropped > 0) {
        Note("the system dropped " + std::to_string(dropped) +
             (dropped == 1 ? " datagram that" : " datagrams that") +
             " arrived while the receive buffer was full: replies may be missing");
    }
    return dropped;
}

// With --verbose, the wire log on standard error, as the window writes it;
// without, none.
net::TIdLogEvent WireLogOf(const Options& opt) {
    if (!opt.verbose) return {};
    return [showSecrets = opt.showSecrets](const net::TIdLogEntry& entry) {
        static std::mutex lock;
        const std::string line = net::WireLogLine(entry, std::chrono::system_clock::now(), showSecrets);
        const std::lock_guard<std::mutex> hold(lock);
        sys::Write(stderr, ShowName(line).text + "\n");
    };
}

// With --verbose, the wire log, and a note of registry files that cannot be
// read.
void LogWire(Session& session, const Options& opt) {
    if (!opt.verbose) return;
    session.OnMakersNote(Note);
    session.OnForgedOnline = [](const std::string& mac) { Note("ignored a forged online announcement of " + mac); };
    session.SetWireLog(WireLogOf(opt));
}

WatchOutput WatchOutputOf(const Options& opt) {
    return {opt.json, [](const std::string& line) { Print(line + "\n"); }, Note, sys::StopRequested};
}

int RunScan(const Options& opt) {
    Session session(opt.port, InterfaceIndexes(opt));
    ReportSendFailuresOnStderr(session);
    LogWire(session, opt);
    if (opt.watch) {
        sys::CatchStopRequests();
        return WatchScan(session, WatchOutputOf(opt));
    }
    session.Scan(opt.timeout);
    const std::vector<DeviceReport> devices = session.Devices();
    const long long dropped = NoteDropped(session);
    Print(opt.json ? ScanJson(devices, dropped) : ScanTable(devices));
    if (devices.empty()) {
        Note("no device answered on port " + std::to_string(opt.port));
        return kExitTimeout;
    }
    return kExitOk;
}

// --record: a line for each result, before they are printed, so that the
// printed exit code is the program's when the file cannot take them.
int Record(units::RecordFile* record, const std::string& ssid, const TIdBytes& raw,
           const std::vector<JoinReport>& results, int exitCode) {
    if (record == nullptr || results.empty()) return exitCode;
    // The station's name is read once: bench mode records result by result.
    static const std::string station = units::StationName();
    const RecordRun run{station, std::string(kProg) + " " + kVersion, ssid, raw};
    return AppendRecords(*record, run, results, Note) ? exitCode : kExitFailure;
}

// Records the units that gave no result or were refused the key (the others
// were recorded as their results came), then prints every result.
int Finish(const Options& opt, Session& session, const std::string& ssid, const TIdBytes& raw,
           std::vector<JoinReport> results, int exitCode, units::RecordFile* record) {
    const long long dropped = NoteDropped(session);
    std::vector<JoinReport> missing;
    std::copy_if(results.begin(), results.end(), std::back_inserter(missing),
                 [](const JoinReport& r) { return !Answered(r.verdict); });
    exitCode = Record(record, ssid, raw, missing, exitCode);
    Print(opt.json ? JoinJson(ssid, raw, results, exitCode, dropped) : JoinTable(ssid, raw, results));
    return exitCode;
}

// join --watch: each result recorded as it is printed.
int WatchJoinsOf(const Options& opt, Session& session, const TIdBytes& key, const std::optional<DeviceChoice>& choice,
                 units::RecordFile* record, units::PinStore* pins) {
    JoinWatch watch{opt.ssid, opt.ssidBytes, opt.hidden, key, opt.unicast, opt.timeout, opt.retries, opt.maxTries,
                    choice, {pins, opt.code, opt.requireSeal}, pins, {}};
    watch.onResult = [&](const JoinReport& result, const TIdBytes& raw, const std::string& shown) {
        return Record(record, shown, raw, {result}, kExitOk) == kExitOk;
    };
    sys::CatchStopRequests();
    return WatchJoins(session, watch, WatchOutputOf(opt));
}

int RunJoin(const Options& opt) {
    sys::KeepOutOfDumps();
    // The key's one home, wiped when the join ends, however it ends.
    KeyOwner keyOwner;
    ReadKey(opt.keyFile, keyOwner);
    const TIdBytes& key = keyOwner.Bytes();
    const TIdBytes hiddenRaw = opt.ssidBytes ? *opt.ssidBytes : TIdBytes(opt.ssid.begin(), opt.ssid.end());
    // Refuses a name and key too long for one request as bad input, before
    // anything is sent.
    JoinFrame(opt.ssidBytes || opt.hidden ? hiddenRaw : TIdBytes(ShortestRawLength(opt.ssid)), key);
    const std::optional<DeviceChoice> choice = opt.device ? ParseDeviceChoice(*opt.device) : std::nullopt;
    if (opt.unicast && choice && choice->address) CheckUnicastAddress(*choice->address);
    for (const std::string& warning : KeyWarnings(opt.keyFile, keyOwner)) Note(warning);
    // From here on SIGINT and SIGTERM end the waits: what came is reported.
    sys::CatchStopRequests();
    // A record file that cannot be opened fails the run before anything is sent.
    std::optional<units::RecordFile> recordFile;
    try {
        if (opt.recordFile) recordFile.emplace(*opt.recordFile, sys::StopRequested);
    } catch (const units::RecordRefused& e) {
        throw UsageError(e.what());
    }
    units::RecordFile* const record = recordFile ? &*recordFile : nullptr;

    Session session(opt.port, InterfaceIndexes(opt));
    session.StopRequested = sys::StopRequested;
    ReportSendFailuresOnStderr(session);
    LogWire(session, opt);
    // A broadcast, or a unicast to this computer, reaches this computer's own
    // sockets on the port too: not when another user's program holds one.
    // Asked again before each resend.
    std::string refusedResend;
    session.BeforeJoin = [&refusedResend](std::uint16_t port, const std::string& host) {
        try {
            CheckJoinSend(port, host);
        } catch (const Exception& e) {
            refusedResend = e.Message();
            throw;
        }
    };
    std::optional<units::PinStore> pins = OpenPins(Note);  // read before anything is sent
    session.ResealKey = &key;
    if (opt.watch) return WatchJoinsOf(opt, session, key, choice, record, pins ? &*pins : nullptr);
    std::vector<Target> targets;
    std::string shown = opt.ssid;
    TIdBytes raw;
    const bool sealAsked = opt.code || opt.requireSeal || (pins && !pins->All().empty());  // seals come with list replies
    if (opt.ssidBytes && !opt.hidden && !(choice && choice->hardware) && !sealAsked) {
        // No scan: the request goes towards the address, or to whoever answers.
        raw = *opt.ssidBytes;
        shown = BytesToText(raw);
        const std::string address = choice ? *choice->address : "";
        const unsigned towards = choice ? InterfaceTowards(address) : 0;
        targets.push_back(
            {{towards, address}, "", towards, JoinFrame(raw, key), {}, {}, raw, {}, {}, false, {}, {}});
    } else {
        session.Scan(opt.scanTimeout, choice);
        if (sys::StopRequested()) {
            Note("stopped by a signal during the scan: nothing was sent");
            return Finish(opt, session, shown, raw, {}, kExitFailure, record);
        }
        std::vector<DeviceReport> devices = session.Devices();
        if (devices.empty()) {
            Note("no device answered the scan on port " + std::to_string(opt.port));
            return Finish(opt, session, shown, raw, {}, kExitTimeout, record);
        }
        if (choice) {
            devices = ChosenUnits(devices, *choice);
            if (devices.empty()) {
                Note("device " + choice->text + " did not answer the scan");
                JoinReport missing{choice->address.value_or(""), "", Verdict::NoResult, "", {}, {}, false, {}};
                if (choice->hardware) missing.mac = units::FormatHardwareAddress(*choice->hardware);
                return Finish(opt, session, shown, raw, {missing}, kExitTimeout, record);
            }
            // Never a guess: nothing is sent.
            if (devices.size() > 1) throw UsageError(AmbiguityMessage(*choice, devices));
        }
        const std::vector<net::TIdInterface> broadcast = net::BroadcastInterfaces();
        if (opt.hidden || opt.ssidBytes) {
            // By its bytes: to every unit that answered (--hidden), or to the
            // one unit a hardware address chose (--ssid-hex).
            raw = hiddenRaw;
            if (opt.ssidBytes) shown = BytesToText(raw);
            for (const DeviceReport& device : devices) targets.push_back(TargetOf(device, raw, key, broadcast));
        } else {
            NetworkPlan plan = PlanByName(devices, opt.ssid, key, broadcast);
            targets = std::move(plan.targets);
            raw = std::move(plan.raw);
            shown = std::move(plan.shown);
        }
        if (targets.empty()) {
            Note("no device offers a network called \"" + opt.ssid + "\"");
            return Finish(opt, session, shown, raw, {}, kExitNotFound, record);
        }
    }

    for (const std::string& refused : SealTargets(targets, {pins ? &*pins : nullptr, opt.code, opt.requireSeal}, key)) Note(refused);

    // Each verdict is recorded as it comes, so that a run killed later has
    // left its line, and a unit that comes online (--online) gets a second
    // line then; after the first that cannot be, none is tried.
    int recordCode = kExitOk;
    std::vector<UnitKey> accepted;
    session.OnJoinResult = [&](const UnitKey& unit, const JoinReport& result) {
        const std::optional<JoinReport> counted = CountedResult(targets, unit, result);
        if (counted && opt.online > 0 && counted->verdict == Verdict::Accepted) accepted.push_back(unit);
        if (counted && recordCode == kExitOk) recordCode = Record(record, shown, raw, {*counted}, kExitOk);
    };
    session.Join(GroupByLink(targets, opt.unicast), opt.timeout, opt.retries);
    if (!accepted.empty() && !sys::StopRequested()) session.AwaitOnline(accepted, opt.online);
    for (const UnitKey& unit : accepted) {
        const std::optional<JoinReport> counted = CountedResult(targets, unit, session.Results().at(unit));
        if (counted->online && recordCode == kExitOk) recordCode = Record(record, shown, raw, {*counted}, kExitOk);
    }
    const bool pinFailed = pins && !PinSealed(targets, *pins, Note);
    if (!refusedResend.empty()) Note("the join request was not sent again: " + refusedResend);
    if (sys::StopRequested()) Note("stopped by a signal: the devices that had not answered are reported as no_result");
    std::vector<JoinReport> results = AssembleResults(targets, session.Results());
    int code = recordCode != kExitOk || pinFailed ? kExitFailure : CombinedExitCode(results);
    const bool keyRefused = std::any_of(results.begin(), results.end(),
                                        [](const JoinReport& r) { return r.verdict == Verdict::KeyFormat; });
    if (const std::string hint = keyRefused ? KeyFormatHint(keyOwner) : ""; !hint.empty()) Note(hint);
    if (results.empty()) {
        Note("no device sent a join result");
        if (recordCode == kExitOk) code = kExitTimeout;
    }
    return Finish(opt, session, shown, raw, results, code, recordCode == kExitOk ? record : nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // Names valid in both readings follow the user's language, as the
    // window's do.
    SetPreferredReading(ReadingForLocale(sys::LocaleName()));
    try {
        const Options opt = ParseArgs(sys::Arguments(argc, argv));
        switch (opt.command) {
        case Command::Help:
            Print(UsageText());
            return kExitOk;
        case Command::Version:
            Print(std::string(kProg) + " " + kVersion + "\n");
            return kExitOk;
        case Command::Scan:
            return RunScan(opt);
        case Command::Join:
            return RunJoin(opt);
        case Command::Pins:
            return RunPins(opt, Print, Note);
        case Command::Check:
            return RunCheck(opt, InterfaceIndexes(opt),
                            {Print, Note, [&opt](Session& s) {
                                 ReportSendFailuresOnStderr(s);
                                 LogWire(s, opt);
                             },
                             WireLogOf(opt)});
        }
    } catch (const UsageError& e) {
        Note(e.what());
        return kExitUsage;
    } catch (const net::EIdCouldNotBindSocket&) {
        Note("cannot receive on local UDP port 12345: it is in use; another Melvorin may be running");
        return kExitFailure;
    } catch (const Exception& e) {
        Note(e.Message());
        return kExitFailure;
    } catch (const std::exception& e) {
        Note(e.what());
        return kExitFailure;
    }
    return kExitFailure;
}
