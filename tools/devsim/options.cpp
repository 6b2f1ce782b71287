#include "devsim/options.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>

#include "cli/args.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"

namespace melvorin::devsim {

namespace {

// Decimal digits only, no sign, no blanks; false when out of [lo, hi].
bool ParseUnsigned(const std::string& text, unsigned long lo, unsigned long hi, unsigned long& out) {
    if (text.empty() || text.size() > 6) return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value < lo || value > hi) return false;
    out = value;
    return true;
}

TIdBytes Encode(const std::string& text, bool utf8, const std::string& what) {
    if (utf8) return TIdBytes(text.begin(), text.end());
    try {
        return TextToCp936(text);
    } catch (const Exception& e) {
        throw UsageError(what + " cannot be written in code page 936 (" + e.Message() + "); use --utf8 to send UTF-8");
    }
}

// The first line of a file ("-": standard input), without its line end.
std::string ReadKeyFile(const std::string& path) {
    std::ifstream file;
    if (path != "-") file.open(path, std::ios::binary);
    std::istream& in = path == "-" ? std::cin : file;
    std::string key;
    if (!in || !std::getline(in, key)) throw UsageError("cannot read a key from \"" + path + "\"");
    if (!key.empty() && key.back() == '\r') key.pop_back();
    return key;
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

std::string DottedAddress(std::uint32_t address) {
    in_addr in{};
    in.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

std::vector<std::string> DefaultNetworkSpecs() {
    return {"HomeNet:82", "办公室WiFi:67", "Cafe_Guest:45", "Lab-2.4G:23"};
}

Network ParseNetworkArg(const std::string& entry, bool utf8) {
    const std::size_t colon = entry.rfind(':');
    if (colon == std::string::npos) {
        throw UsageError("network \"" + entry + "\" has no strength; write it as SSID:strength");
    }
    const std::string ssid = entry.substr(0, colon);
    const std::string strength = entry.substr(colon + 1);
    if (ssid.empty()) throw UsageError("network \"" + entry + "\" has an empty SSID");
    unsigned long value = 0;
    if (!ParseUnsigned(strength, 0, 255, value)) {
        throw UsageError("network \"" + entry + "\": strength \"" + strength + "\" is not a number from 0 to 255");
    }
    Network net;
    net.ssid = Encode(ssid, utf8, "SSID \"" + ssid + "\"");
    net.strength = static_cast<std::uint8_t>(value);
    return net;
}

std::vector<std::string> ReadNetworksFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError("cannot read networks file \"" + path + "\"");
    std::vector<std::string> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlank(line) || line[0] == '#') continue;
        entries.push_back(line);
    }
    if (in.bad()) throw UsageError("error reading networks file \"" + path + "\"");
    return entries;
}

Options ParseArgs(const std::vector<std::string>& args) {
    Options opt;
    std::vector<std::string> entries;
    bool networksGiven = false;
    bool utf8 = false;
    std::optional<std::string> key;

    for (cli::TArgCursor<UsageError> arg(args, 0); arg.Next();) {
        const std::string& name = arg.Name();

        if (name == "--help" || name == "-h") {
            arg.Flag();
            opt.help = true;
        } else if (name == "--version") {
            arg.Flag();
            opt.version = true;
        } else if (name == "--port") {
            const std::string text = arg.Value();
            unsigned long port = 0;
            if (!ParseUnsigned(text, 1, 65535, port)) {
                throw UsageError("--port \"" + text + "\" is not a port number from 1 to 65535");
            }
            opt.port = static_cast<std::uint16_t>(port);
        } else if (name == "--network") {
            entries.push_back(arg.Value());
            networksGiven = true;
        } else if (name == "--networks") {
            for (std::string& entry : ReadNetworksFile(arg.Value())) entries.push_back(std::move(entry));
            networksGiven = true;
        } else if (name == "--utf8") {
            arg.Flag();
            utf8 = true;
        } else if (name == "--key") {
            key = arg.Value();
            if (key->empty()) throw UsageError("--key must not be empty");
        } else if (name == "--key-file") {
            key = ReadKeyFile(arg.Value());
            if (key->empty()) throw UsageError("--key-file: the key must not be empty");
        } else if (name == "--devices") {
            const std::string text = arg.Value();
            unsigned long count = 0;
            if (!ParseUnsigned(text, 1, kMaxDevices, count)) {
                throw UsageError("--devices \"" + text + "\" is not a number from 1 to " + std::to_string(kMaxDevices));
            }
            opt.devices = static_cast<unsigned>(count);
        } else if (name == "--first-address") {
            const std::string text = arg.Value();
            in_addr address{};
            if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
                throw UsageError("--first-address \"" + text + "\" is not an IPv4 address");
            }
            opt.firstAddress = ntohl(address.s_addr);
            if (opt.devices == 0) opt.devices = 1;
        } else if (name == "--loss") {
            const std::string text = arg.Value();
            char* end = nullptr;
            const double p = text.empty() ? -1.0 : std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(p >= 0.0 && p <= 1.0)) {
                throw UsageError("--loss \"" + text + "\" is not a probability from 0 to 1");
            }
            opt.loss = p;
        } else if (name == "--seed") {
            const std::string text = arg.Value();
            if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
                throw UsageError("--seed \"" + text + "\" is not a whole number");
            }
            opt.seed = std::stoull(text);
        } else if (name == "--fault") {
            const std::string text = arg.Value();
            const std::optional<Fault> fault = FaultNamed(text);
            if (!fault) {
                std::string names;
                for (const std::string& known : FaultNames()) names += (names.empty() ? "" : ", ") + known;
                throw UsageError("--fault \"" + text + "\" is none of " + names);
            }
            opt.fault = *fault;
        } else if (name == "--reply-broadcast") {
            arg.Flag();
            opt.replyBroadcast = true;
        } else if (name == "--sealed") {
            arg.Flag();
            opt.sealed = true;
        } else if (name == "--label") {
            arg.Flag();
            opt.label = true;
        } else if (name == "--unit-key") {
            opt.unitKey = arg.Value();
            if (opt.unitKey.empty()) throw UsageError("--unit-key must not be empty");
        } else if (name == "--target-link") {
            opt.targetLink = arg.Value();
            if (opt.targetLink.empty() || opt.targetLink.size() >= 16 || opt.targetLink.find('/') != std::string::npos) {
                throw UsageError("--target-link \"" + opt.targetLink + "\" is not an interface name");
            }
        } else if (name == "--verbose" || name == "-v") {
            arg.Flag();
            opt.verbose = true;
        } else if (name == "--show-secrets") {
            arg.Flag();
            opt.showSecrets = true;
        } else {
            throw UsageError("unknown argument " + arg.Shown() + " (see --help)");
        }
    }
    if (opt.help || opt.version) return opt;
    if (opt.sealed != !opt.unitKey.empty()) throw UsageError("--sealed and --unit-key FILE go together");
    if (opt.label && !opt.sealed) throw UsageError("--label needs --sealed and --unit-key FILE");
    if (!opt.targetLink.empty() && opt.devices > 0) {
        throw UsageError("--target-link is for one device, not with --devices or --first-address");
    }

    if (opt.devices > 0 && std::uint64_t{opt.firstAddress} + opt.devices - 1 > 0xFFFFFFFEu) {
        throw UsageError("--devices: the addresses run past 255.255.255.254");
    }
    if (!networksGiven) entries = DefaultNetworkSpecs();
    for (const std::string& entry : entries) opt.config.networks.push_back(ParseNetworkArg(entry, utf8));
    // The tool always sends the key in code page 936.
    if (key) opt.config.key = Encode(*key, false, "--key");
    const std::string problem = ConfigProblem(opt.config);
    if (!problem.empty()) throw UsageError(problem);
    return opt;
}

std::string UsageText() {
    return R"(Usage: melvorin-devsim [OPTIONS]

A simulated Wi-Fi device for trying Melvorin without hardware. It listens for
UDP datagrams on the search port (on 0.0.0.0, broadcast permitted), answers a
scan request (FF 00 01 01 02) with the list of its networks and a join request
(command 0x02, payload 00 <SSID> 0D 0A <key>) with a join result: the SSID is
accepted when it is one of its networks, the key as described under --key.
It reads requests as the unit's library (melvorin_device) does: a datagram
over 259 bytes, or with a wrong lead byte, length byte (its size - 4) or
checksum, is ignored like every other datagram (logged in hex with --verbose).

Options:
  --port N            UDP port to listen on (default 1902, the search port)
  --network SSID:N    a network with signal strength N (0 to 255); repeatable.
                      Split at the last ':', so an SSID may hold ':'.
  --networks FILE     read networks from FILE, one SSID:N a line; blank lines
                      and lines starting with '#' are skipped. May be combined
                      with --network. Without either, the default networks are
                      HomeNet:82, 办公室WiFi:67, Cafe_Guest:45, Lab-2.4G:23.
  --utf8              send SSIDs as their UTF-8 bytes instead of code page 936
                      (GBK), the default
  --key KEY           accept only this key (its code page 936 bytes, as the
                      tool sends it); without it any key of 8 to 63 bytes is
                      accepted
  --key-file FILE     the same with the key on the first line of FILE (- for
                      standard input), out of sight of other users
  --reply-broadcast   send replies to 255.255.255.255:12345 instead of back to
                      the sender's address and port
  --devices N         be N devices (1 to 1000) at once, each answering from an
                      address of its own: consecutive addresses from
                      --first-address on, which must be local (any
                      127.x.y.z is; elsewhere add them to the interface
                      first). Each device gets a socket bound to its address
                      and port; one more socket on 0.0.0.0 receives the
                      broadcasts for all of them. All of them share the port
                      with other programs that do the same (SO_REUSEADDR).
  --first-address A   the first device's address (default 127.0.1.1)
  --loss P            drop each reply with probability P (0 to 1), as a
                      lossy link does: 0.05 loses one in twenty
  --seed N            the seed of those drops, so that a run can be
                      repeated (without it, a new seed each run, shown in
                      the ready message)
  --fault NAME        answer as faulty firmware would, to see the conformance
                      check (melvorin-cli check) find the fault; NAME is one
                      of:
                        list-checksum     list replies carry a wrong checksum
                        list-count        their count byte is one too high
                        answers-bad-lead  a request is answered whatever its
                                          lead byte
                        short-buffer      only the first 256 bytes of a
                                          datagram are read
                        no-join-reply     join requests go unanswered
  --sealed            offer the sealed join (docs/sealed-join.md): list
                      replies carry the unit's public key and a fresh nonce,
                      and sealed joins are opened; prints "label code: CODE"
                      to stdout at start. Needs --unit-key.
  --unit-key FILE     the unit's secret key, made (mode 0600) when FILE does
                      not exist
  --label             with --sealed: print the unit's label code alone and
                      exit, for its label; as a QR code:
                      melvorin-devsim --sealed --unit-key FILE --label |
                      qrencode -t ansiutf8
  --target-link IFACE
                      the link of the network a join puts the device on:
                      after each join it accepts, it announces itself there
                      (command 0x84) by a broadcast to 255.255.255.255:12345
                      from IFACE's IPv4 address, with IFACE's hardware
                      address, at 0, 1, 2, 4 and 8 s; tagged for the station
                      when the join was sealed. A new join starts over.
  --verbose, -v       log every datagram received and sent, in hex, to stderr;
                      a join request's key is written as its length only
                      ("<key: 8 bytes> <checksum>"), as the station's log does
  --show-secrets      write the key's bytes in that log too
  --help, -h          show this text and exit
  --version           print the version and exit

SSIDs must not be empty or over 255 bytes and must not hold a zero byte or a
line break (0x0D, 0x0A); at most 255 networks, in a list reply of at most
8192 bytes.

When ready it prints "melvorin-devsim: listening on port N with K networks"
to stderr (with --loss, followed by ", dropping replies with probability P, seed N"). SIGINT or SIGTERM stops it with exit code 0. A bad argument or a
port already in use exits with code 2 and a message.

scripts/demo runs it beside Melvorin in a private network namespace of its
own; scripts/in-netns gives one for other experiments.
)";
}

}  // namespace melvorin::devsim
