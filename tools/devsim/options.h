#pragma once

// Command line of melvorin-devsim.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/faults.h"
#include "protocol/ports.h"

namespace melvorin::devsim {

// A bad argument, a bad networks file or a network the tool could not read
// back. The program prints the message and exits with code 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

inline constexpr unsigned long kMaxDevices = 1000;

struct Options {
    bool help = false;
    bool version = false;
    std::uint16_t port = kDefaultSearchPort;
    bool replyBroadcast = false;
    bool verbose = false;
    // The key's bytes in the --verbose log of join requests (--show-secrets).
    bool showSecrets = false;
    // Several devices at once: `devices` of them, answering from consecutive
    // IPv4 addresses from `firstAddress` (host byte order) on. 0: one device
    // answering from whatever address the route gives.
    unsigned devices = 0;
    std::uint32_t firstAddress = 0x7F000101;  // 127.0.1.1
    // Each reply is dropped with this probability (a lossy link), drawn
    // from a generator seeded with `seed` when one is given.
    double loss = 0.0;
    std::optional<std::uint64_t> seed;
    // A fault of firmware put on on purpose (--fault).
    Fault fault = Fault::None;
    // Offer the sealed join, with the unit key kept in `unitKey`.
    bool sealed = false;
    // Print the unit's label code alone and end.
    bool label = false;
    std::string unitKey;
    // The link of the network a join puts the device on, where it announces
    // itself after a join it accepts (--target-link); empty: none.
    std::string targetLink;
    DeviceConfig config;
};

// The networks used when none is given: varied strengths, one Chinese SSID.
std::vector<std::string> DefaultNetworkSpecs();

// Reads the arguments after the program name. Raises UsageError.
Options ParseArgs(const std::vector<std::string>& args);

// "SSID:strength", split at the last ':', strength 0..255 in decimal; the SSID
// becomes code page 936 bytes, or stays UTF-8 with `utf8`. Raises UsageError.
Network ParseNetworkArg(const std::string& entry, bool utf8);

// The "SSID:strength" lines of a networks file: blank lines and lines starting
// with '#' are skipped, a trailing CR is dropped. Raises UsageError.
std::vector<std::string> ReadNetworksFile(const std::string& path);

// Dotted text of an address in host byte order.
std::string DottedAddress(std::uint32_t address);

std::string UsageText();

}  // namespace melvorin::devsim
