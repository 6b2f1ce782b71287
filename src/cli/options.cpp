#include "cli/options.h"

#include <cmath>
#include <cstdlib>

#include "cli/args.h"
#include "cli/plan.h"
#include "cli/sealing.h"
#include "net/sockets.h"
#include "protocol/errors.h"
#include "protocol/hex.h"
#include "protocol/scan.h"

namespace melvorin::cli {

namespace {

// Options a user may try for the key: each refused, whatever the command.
void RefuseKeyOption(const std::string& name) {
    for (const char* keyOption : {"--key", "--password", "--passphrase", "--psk"}) {
        if (name == keyOption) {
            throw UsageError(name + ": the key is never taken from the command line, where other users can read"
                                    " it; use --key-file FILE (- for standard input)");
        }
    }
}

double ParseSeconds(const std::string& name, const std::string& text) {
    char* end = nullptr;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(value) || value <= 0.0 || value > 86400.0) {
        throw UsageError(name + " \"" + text + "\" is not a number of seconds above 0");
    }
    return value;
}

int ParseCount(const std::string& name, const std::string& text, int least) {
    const bool digits = !text.empty() && text.size() <= 4 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(text) > 1000 || std::stoi(text) < least) {
        throw UsageError(name + " \"" + text + "\" is not a number from " + std::to_string(least) + " to 1000");
    }
    return std::stoi(text);
}

TIdBytes SsidHex(const std::string& text) {
    const std::optional<TIdBytes> bytes = ParseHex(text);
    if (!bytes) throw UsageError("--ssid-hex \"" + text + "\" is not an even number of hexadecimal digits");
    return *bytes;
}

}  // namespace

std::uint16_t ParsePort(const std::string& text) {
    try {
        return CheckedSearchPort(StrToInt(text));
    } catch (const Exception& e) {
        throw UsageError("--port: " + e.Message());
    }
}

Options ParseArgs(const std::vector<std::string>& args) {
    Options opt;
    if (args.empty()) throw UsageError("no command given (see --help)");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        opt.command = Command::Help;
        return opt;
    }
    if (first == "--version") {
        opt.command = Command::Version;
        return opt;
    }
    if (first == "scan") {
        opt.command = Command::Scan;
    } else if (first == "join") {
        opt.command = Command::Join;
        opt.timeout = 10.0;
    } else if (first == "pins") {
        return ParsePinsArgs(args);
    } else if (first == "check") {
        opt.command = Command::Check;
        opt.timeout = 1.0;
    } else {
        // A word there is a command mistyped; an option is named without its value.
        RefuseKeyOption(first.substr(0, first.find('=')));
        const std::string shown = first.rfind('-', 0) == 0 ? ShownArgument(first, 0) : "\"" + first + "\"";
        throw UsageError("unknown command " + shown + " (see --help)");
    }
    bool ssidGiven = false;

    for (TArgCursor<UsageError> arg(args, 1); arg.Next();) {
        const std::string& name = arg.Name();
        const bool join = opt.command == Command::Join;
        RefuseKeyOption(name);
        const bool check = opt.command == Command::Check;

        if (name == "--help" || name == "-h") {
            arg.Flag();
            opt.command = Command::Help;
            return opt;
        } else if (name == "--version") {
            arg.Flag();
            opt.command = Command::Version;
            return opt;
        } else if (name == "--port") {
            opt.port = ParsePort(arg.Value());
        } else if (name == "--timeout") {
            opt.timeout = ParseSeconds(name, arg.Value());
        } else if (name == "--interface") {
            const std::string ifname = arg.Value();
            if (ifname.empty()) throw UsageError("--interface needs an interface name");
            opt.interfaces.push_back(ifname);
        } else if (name == "--json") {
            arg.Flag();
            opt.json = true;
        } else if (name == "--verbose") {
            arg.Flag();
            opt.verbose = true;
        } else if (name == "--show-secrets") {
            arg.Flag();
            opt.showSecrets = true;
        } else if (name == "--watch") {
            arg.Flag();
            opt.watch = true;
        } else if ((join || check) && name == "--scan-timeout") {
            opt.scanTimeout = ParseSeconds(name, arg.Value());
        } else if (join && name == "--retries") {
            opt.retries = ParseCount(name, arg.Value(), 0);
        } else if (join && name == "--online") {
            const std::string seconds = arg.Value();
            opt.online = seconds == "0" ? 0.0 : ParseSeconds(name, seconds);
        } else if (join && name == "--max-tries") {
            opt.maxTries = ParseCount(name, arg.Value(), 1);
        } else if (join && name == "--ssid") {
            opt.ssid = arg.Value();
            if (opt.ssid.empty()) throw UsageError("--ssid needs a network name");
            opt.ssidBytes.reset();
            ssidGiven = true;
        } else if (join && name == "--ssid-hex") {
            opt.ssidBytes = SsidHex(arg.Value());
            ssidGiven = true;
        } else if ((join || check) && name == "--device") {
            const std::string device = arg.Value();
            if (!ParseDeviceChoice(device)) {
                throw UsageError("--device \"" + device +
                                 "\" is neither an IPv4 address nor a hardware address (24:6f:28:00:00:01)");
            }
            opt.device = device;
        } else if (join && name == "--unicast") {
            arg.Flag();
            opt.unicast = true;
        } else if (join && name == "--hidden") {
            arg.Flag();
            opt.hidden = true;
        } else if (join && name == "--key-file") {
            opt.keyFile = arg.Value();
            if (opt.keyFile->empty()) throw UsageError("--key-file needs a file name (- for standard input)");
        } else if (join && name == "--record") {
            opt.recordFile = arg.Value();
            if (opt.recordFile->empty()) throw UsageError("--record needs a file name");
        } else if (join && name == "--code") {
            opt.code = arg.Value();
            if (opt.code->empty()) throw UsageError("--code needs the label code on the device");
        } else if (join && name == "--require-seal") {
            arg.Flag();
            opt.requireSeal = true;
        } else if (check && name == "--secured") {
            opt.secured = arg.Value();
            if (opt.secured->empty()) throw UsageError("--secured needs a network name");
        } else {
            throw UsageError("unknown argument " + arg.Shown() + " for " + first + " (see --help)");
        }
    }
    if (opt.command == Command::Check && opt.watch) throw UsageError("check takes no --watch");
    if (opt.command == Command::Join && !ssidGiven) throw UsageError("join needs --ssid NAME or --ssid-hex HEX");
    if (opt.code && !opt.device) throw UsageError("--code names the key of one device: give --device too");
    if (opt.online > 0 && opt.watch) throw UsageError("--online waits after a one-shot join: bench mode (--watch) takes none");
    if (opt.maxTries != 0 && !opt.watch) throw UsageError("--max-tries counts the tries of bench mode: give --watch");
    if (opt.unicast && opt.ssidBytes && !opt.hidden && !opt.device) {
        throw UsageError("--unicast sends to each device's own address, and --ssid-hex without a scan knows none:"
                         " give --device ADDRESS, or --hidden to send to every device that answers the scan");
    }
    return opt;
}

std::string UsageText() {
    return R"(Usage: melvorin-cli scan [OPTIONS]
       melvorin-cli join (--ssid NAME | --ssid-hex HEX) [OPTIONS]
       melvorin-cli check [--device ADDRESS] [--secured NAME] [OPTIONS]
       melvorin-cli pins list [--json] | pins forget MAC
       melvorin-cli --help | --version

Puts Wi-Fi devices onto a wireless network over UDP broadcast, as the
Melvorin window does, from scripts. Replies are received on local UDP port
12345, the window's port: only one of the two can run at a time.

scan   broadcasts the scan request out of every broadcast interface, again
       every second until the time-out, and prints every device that
       answered: its address, its hardware address and maker where the
       system's neighbour table tells them, the interface the reply came in
       on, and its networks strongest first (the list of its last reply).
       A device is its address on its interface: two at one address on two
       interfaces are two devices. A name is
       shown as the window shows it: characters that show as nothing, as a
       blank other than U+0020 and U+3000, or as a line break (controls,
       format and bidirectional characters, zero-width and tag characters,
       other spaces; joiners and variation selectors where nothing takes
       them) as [U+XXXX], followed by the name's bytes in hexadecimal when
       it holds any of them or bytes that do not decode.
join   scans, then sends the join request for the network whose shown name
       is NAME to every device that offered it, and waits for each one's
       result. The key is read from --key-file, or asked for without echo
       when standard input is a terminal; never from the command line
       (--key, --password, --passphrase and --psk are refused).
       The request carries the key in clear, unless the device offers
       the sealed join (see below). Before it is broadcast, or
       sent to an address of this computer, the sockets of this computer
       are read: when a program of another user (not root) is bound to the
       search port, where it would receive the key too, nothing is sent
       and the exit code is 1. The reading is taken just before each send:
       a program that binds the port between the two still receives a
       broadcast. A key file that other users can read, and a key that no
       WPA2 network takes (not 8 to 63 bytes in code page 936, as devices
       receive it, nor 64 hexadecimal digits), are warned of on stderr; the join still goes. SIGINT or
       SIGTERM ends the join: what came is reported and recorded, the
       devices that gave no result yet as no_result (a second one ends
       the program at once).

Options:
  --port N             search port (default 1902), read as the window reads
                       its search-port box ($76E and 0x76E are 1902 too)
  --timeout SECONDS    scan: how long to collect replies (default 3);
                       join: how long to wait for results (default 10)
  --interface NAME     send out of this interface only; repeatable
  --json               print one JSON document instead of the table
  --verbose            write every datagram sent or received, and every
                       error dropped on purpose, to standard error, one
                       line each; a join request's key is written as its
                       length only ("<key: 8 bytes>")
  --show-secrets       write the key's bytes in that log too
  --watch              bench mode: scan once a second until SIGINT or
                       SIGTERM. scan: print each device as it comes
                       ("came ...") and goes ("went ...", after 3.5 s of
                       silence). join: join each device that comes and
                       offers the network once, printing (and recording,
                       with --record) each result the moment it is known,
                       one line each (one JSON object each with --json);
                       a device is its hardware address where known, so
                       another unit put at the same address is joined too;
                       one that gave no result is tried again when it
                       answers after 10 s, then 30 s, 90 s, then every 5
                       minutes. On the signal: no new joins, results
                       awaited get a second, then a summary on stderr
                       (and as a last JSON line); the exit code is join's
                       over every device, 3 when none came
join only:
  --ssid NAME          the network, by its name as scan shows it, markers
                       included ("Home[U+202E]gnp.exe"), as the JSON has
                       it, or in its other reading (bytes valid both as
                       UTF-8 and as code page 936); --ssid-hex gives any
                       name by its bytes
  --ssid-hex HEX       the network's raw SSID bytes; skips the scan
  --device ADDRESS     address this one device only, by its IPv4 address
                       or its hardware address (24:6f:28:00:00:01, any
                       case, ':' or '-'); the request goes out of the
                       interface it answered on. An address that two
                       answering devices share is refused (exit code 2,
                       both named, nothing sent). With --ssid-hex an IPv4
                       address skips the scan, a hardware address does not
  --unicast            send each join request (and its resends) to its
                       device's own address, out of the device's link,
                       instead of broadcasting it: on a WPA2 segment no
                       other station can read it, unless it has the
                       passphrase and caught the device's handshake. It
                       still goes to every device that answered the scan
                       and offers the network: name one with --device. To
                       an address of this computer it is checked as a
                       broadcast is; to a broadcast, network or multicast
                       address it is refused (exit code 2). A device whose
                       socket is bound to all addresses takes both; one
                       bound only to the broadcast address takes broadcasts
                       only. Needs --device with --ssid-hex unless --hidden
                       is given
  --hidden             join a network that no device lists (a hidden one):
                       scan, then send the name's UTF-8 bytes (or the bytes
                       of --ssid-hex), with the key, to every device that
                       answered, or to --device only
  --key-file FILE      read the key from the first line of FILE
                       (- for standard input)
  --scan-timeout SECS  how long the scan before a join lasts (default 3;
                       with --device it ends shortly after that device
                       has answered)
  --retries N          send the join request again, once a second, while a
                       device it went to has given no result, at most N
                       times (default 5; 0 sends it once); the first result
                       of each device counts. Without a device to wait for
                       (--ssid-hex without --device) it is sent once.
  --online SECONDS     after the verdicts, wait up to SECONDS (default 0)
                       for each accepted device's online announcement, on
                       any link (a device whose hardware address is not
                       known is not awaited); not with --watch
  --max-tries N        with --watch: join a device that gives no result at
                       most N times (1 to 1000; default: no end); its last
                       no_result line ends its tries
  --record FILE        append one JSON line per addressed device to FILE
                       (created when missing): time (UTC), station, its
                       interface, address, mac, vendor, ssid, ssid_hex,
                       verdict, message, program, sealed and online (the
                       address it came online at, or null); never the key. The
                       file is opened before anything is sent, never
                       through a symbolic link, and created with mode 0640
                       (less as the umask says); a link, or for root a file
                       of another user, is refused (exit code 2). Each line
                       is written as its result comes (with --online, an
                       accepted device's after the wait). Programs appending
                       at once never mix their lines; one that holds the
                       file's lock for more than 5 s fails the run (exit
                       code 1)
)" + SealUsageText() + R"(
Exit codes:
  0   scan: at least one device answered; join: every addressed device
      accepted
  1   a device was refused the key (downgrade_refused, not_sealed);
      another failure (socket, system; port 12345 taken; another user's
      program on the search port, so nothing was sent; the record's lock
      held by another program; a stop during the scan)
  2   bad usage or bad input (nothing is sent); --device naming two
      devices; a refused --record file; --unicast to a broadcast, network
      or multicast address
  3   time-out: no device answered the scan, or an addressed device gave
      no result
  4   a device refused the key's format
  10  the network was not found (in no scan, or a device said the SSID is
      wrong)
When devices disagree, the first of 1, 4, 10, 3 that applies is the code.

With --json, each device and each result has "mac" (its hardware address,
lower case with colons) and "vendor" (its maker in the IEEE registries),
each null when unknown; each result has "sealed" (true when the join
went sealed) and "online": null, or (--online) the "address" it announced,
the "interface" it was heard on and "authenticated" (a sealed join's tag
verified); a forged one is ignored (told with --verbose). "dropped" counts the datagrams the system dropped before they
could be read (the socket's receive buffer full; also told on stderr); it is
null where the system cannot tell (Windows).
)" + CheckUsageText();
}

}  // namespace melvorin::cli
