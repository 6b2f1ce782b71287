// melvorin-cli: scan for devices and put them onto a network from scripts.
// See --help.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/key.h"
#include "cli/options.h"
#include "cli/record_line.h"
#include "cli/report.h"
#include "cli/route.h"
#include "cli/session.h"
#include "cli/system.h"
#include "melvorin/version.h"
#include "net/errors.h"
#include "net/interfaces.h"
#include "net/wire_log.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/join.h"
#include "protocol/shown_name.h"
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

// Interfaces a request could not go out of, while others took it; a
// receive buffer too small for a burst of replies.
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

// Datagrams the system dropped before they were read, told on stderr.
long long NoteDropped(Session& session) {
    const long long dropped = session.Dropped();
    if (dropped > 0) {
        Note("the system dropped " + std::to_string(dropped) +
             (dropped == 1 ? " datagram that" : " datagrams that") +
             " arrived while the receive buffer was full: replies may be missing");
    }
    return dropped;
}

// --verbose: the wire log on standard error, as the window writes it.
void LogWire(Session& session, const Options& opt) {
    if (!opt.verbose) return;
    session.SetWireLog([showSecrets = opt.showSecrets](const net::TIdLogEntry& entry) {
        static std::mutex lock;
        const std::string line = net::WireLogLine(entry, std::chrono::system_clock::now(), showSecrets);
        const std::lock_guard<std::mutex> hold(lock);
        sys::Write(stderr, ShowName(line).text + "\n");
    });
}

int RunScan(const Options& opt) {
    Session session(opt.port, InterfaceIndexes(opt));
    ReportSendFailuresOnStderr(session);
    LogWire(session, opt);
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

// The shortest the raw bytes of a name given by --ssid can be: its code page
// 936 or its UTF-8 bytes, each marker "[U+XXXX]" standing for one byte at
// least.
std::size_t ShortestRawLength(const std::string& name) {
    std::size_t length = name.size();
    try {
        length = std::min(length, TextToCp936(name).size());
    } catch (const Exception&) {
    }
    for (std::size_t at = name.find("[U+"); at != std::string::npos; at = name.find("[U+", at + 3)) {
        length -= std::min<std::size_t>(length, 7);
    }
    return length;
}

TIdBytes JoinFrame(const TIdBytes& ssid, const TIdBytes& key) {
    try {
        return BuildJoinRequest(ssid, key);
    } catch (const ERangeError&) {
        throw UsageError("the network name (" + std::to_string(ssid.size()) + " bytes) and the key (" +
                         std::to_string(key.size()) + " bytes) are too long for one join request: together at most 251");
    }
}

struct Target {
    std::string address;
    std::string interfaceName;
    unsigned interfaceIndex = 0;
    TIdBytes frame;
};

// --record: a line for each result, before they are printed, so that the
// printed exit code is the program's when the file cannot take them.
int Record(units::RecordFile* record, const std::string& ssid, const TIdBytes& raw,
           const std::vector<JoinReport>& results, int exitCode) {
    if (record == nullptr || results.empty()) return exitCode;
    const RecordRun run{units::StationName(), std::string(kProg) + " " + kVersion, ssid, raw};
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> lines;
    for (const JoinReport& result : results) lines.push_back(RecordLine(run, result, now));
    try {
        record->Append(lines);
    } catch (const units::RecordError& e) {
        Note(e.what());
        return kExitFailure;
    }
    return exitCode;
}

int Finish(const Options& opt, Session& session, const std::string& ssid, const TIdBytes& raw,
           std::vector<JoinReport> results, int exitCode, units::RecordFile* record) {
    const long long dropped = NoteDropped(session);
    exitCode = Record(record, ssid, raw, results, exitCode);
    Print(opt.json ? JoinJson(ssid, raw, results, exitCode, dropped) : JoinTable(ssid, raw, results));
    return exitCode;
}

int RunJoin(const Options& opt) {
    const TIdBytes key = EncodeKey(ReadKeyText(opt.keyFile));
    // Too long for one request is bad input, told before anything is sent.
    JoinFrame(opt.ssidBytes ? *opt.ssidBytes : TIdBytes(ShortestRawLength(opt.ssid)), key);
    // A record file that cannot be opened fails the run before anything is sent.
    std::optional<units::RecordFile> recordFile;
    if (opt.recordFile) recordFile.emplace(*opt.recordFile);
    units::RecordFile* const record = recordFile ? &*recordFile : nullptr;

    Session session(opt.port, InterfaceIndexes(opt));
    ReportSendFailuresOnStderr(session);
    LogWire(session, opt);
    std::vector<Target> targets;
    std::string shown = opt.ssid;
    TIdBytes raw;
    if (opt.ssidBytes) {
        raw = *opt.ssidBytes;
        shown = BytesToText(raw);
        const std::string address = opt.device.value_or("");
        targets.push_back({address, "", opt.device ? InterfaceTowards(address) : 0, JoinFrame(raw, key)});
    } else {
        session.Scan(opt.scanTimeout, opt.device.value_or(""));
        std::vector<DeviceReport> devices = session.Devices();
        if (devices.empty()) {
            Note("no device answered the scan on port " + std::to_string(opt.port));
            return Finish(opt, session, shown, raw, {}, kExitTimeout, record);
        }
        if (opt.device) {
            const DeviceReport* device = session.Device(*opt.device);
            if (device == nullptr) {
                Note("device " + *opt.device + " did not answer the scan");
                return Finish(opt, session, shown, raw, {{*opt.device, "", Verdict::NoResult, "", {}, {}}}, kExitTimeout,
                              record);
            }
            devices = {*device};
        }
        const std::vector<net::TIdInterface> broadcast = net::BroadcastInterfaces();
        for (const DeviceReport& device : devices) {
            for (const NetworkRow& network : device.networks) {
                // As the table shows it, as the JSON has it, or in its other
                // reading (bytes valid both as UTF-8 and as code page 936).
                const std::optional<std::string> other = OtherReading(network.raw);
                const bool named = ShowName(network.ssid).text == opt.ssid || network.ssid == opt.ssid ||
                                   (other && (*other == opt.ssid || ShowName(*other).text == opt.ssid));
                if (!named) continue;
                if (raw.empty()) {
                    raw = network.raw;
                    shown = network.ssid;
                }
                targets.push_back({device.address, device.interfaceName, UsableInterface(device.interfaceIndex, broadcast),
                                   JoinFrame(network.raw, key)});
                break;
            }
        }
        if (targets.empty()) {
            Note("no device offers a network called \"" + opt.ssid + "\"");
            return Finish(opt, session, shown, raw, {}, kExitNotFound, record);
        }
    }

    // One request for each frame and interface: devices on one segment share it.
    std::vector<Session::JoinRequest> requests;
    for (const Target& t : targets) {
        auto same = std::find_if(requests.begin(), requests.end(), [&t](const Session::JoinRequest& r) {
            return r.frame == t.frame && r.interfaceIndex == t.interfaceIndex;
        });
        if (same == requests.end()) same = requests.insert(requests.end(), {t.frame, t.interfaceIndex, {}});
        if (!t.address.empty()) same->addresses.push_back(t.address);
    }
    session.Join(requests, opt.timeout, opt.retries);

    std::vector<JoinReport> results;
    if (targets.front().address.empty()) {
        for (const auto& entry : session.Results()) results.push_back(entry.second);
    } else {
        for (const Target& t : targets) {
            const auto it = session.Results().find(t.address);
            results.push_back(it != session.Results().end() ? it->second
                                                             : JoinReport{t.address, t.interfaceName, Verdict::NoResult, "", {}, {}});
        }
    }
    int code = CombinedExitCode(results);
    if (results.empty()) {
        Note("no device sent a join result");
        code = kExitTimeout;
    }
    return Finish(opt, session, shown, raw, results, code, record);
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
