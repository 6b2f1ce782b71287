#pragma once

// Command line of melvorin-cli.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/bytes.h"
#include "protocol/ports.h"

namespace melvorin::cli {

// Exit codes: a contract with the scripts that call the tool.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,   // socket or system failure; check: a case failed
    kExitUsage = 2,     // bad usage or bad input; nothing was sent
    kExitTimeout = 3,   // no device answered the scan, or an addressed device gave no result
    kExitKeyFormat = 4, // a device refused the key's format
    kExitNotFound = 10, // the network is in no scan, or a device said the SSID is wrong
};

// Bad usage or bad input: the message is printed and the tool exits with 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

enum class Command { Scan, Join, Check, Pins, Help, Version };

struct Options {
    Command command = Command::Help;
    std::uint16_t port = kDefaultSearchPort;
    // Seconds; the scan's default and the join's wait for results.
    double timeout = 3.0;
    // join: how long the scan before it collects lists.
    double scanTimeout = 3.0;
    std::vector<std::string> interfaces;
    bool json = false;
    // The wire log on standard error; the key's bytes in it.
    bool verbose = false;
    bool showSecrets = false;
    // Bench mode: scan once a second until SIGINT or SIGTERM (--watch).
    bool watch = false;
    // join: how long to wait after the verdicts for the accepted units'
    // online announcements (--online; 0: no wait).
    double online = 0.0;
    // join
    std::string ssid;                  // the shown name (--ssid)
    std::optional<TIdBytes> ssidBytes; // the raw bytes (--ssid-hex)
    std::optional<std::string> device; // dotted IPv4 address or hardware address
    std::optional<std::string> keyFile;
    // Each join request to its device's own address instead of broadcast.
    bool unicast = false;
    // A network no device lists: sent to every device that answered the
    // scan (or --device) by its name's UTF-8 bytes or --ssid-hex.
    bool hidden = false;
    // Resends of the join request, once a second, while an addressed device
    // has given no result.
    int retries = 5;
    // Bench mode: joins of a device that gives no result; 0: no end
    // (--max-tries).
    int maxTries = 0;
    // A file each addressed device's result is appended to, one JSON line
    // each (--record).
    std::optional<std::string> recordFile;
    // check: a listed network known to need a key, the one the join request
    // with a key no WPA2 network takes goes to (--secured).
    std::optional<std::string> secured;
    // join: the label code of --device's key (--code); only sealed joins
    // (--require-seal).
    std::optional<std::string> code;
    bool requireSeal = false;
    // pins: "forget MAC" (the address as given); none: "list".
    std::optional<std::string> forget;
};

// The arguments after the program name. Raises UsageError.
Options ParseArgs(const std::vector<std::string>& args);

// Search-port text read as the window reads its search-port box. Raises
// UsageError with the window's message.
std::uint16_t ParsePort(const std::string& text);

std::string UsageText();
// The part of UsageText() about the check.
std::string CheckUsageText();

}  // namespace melvorin::cli
