#pragma once

// The process-wide socket layer: its lifetime (counted by the network
// components alive), the IPv6 test, host resolution and address texts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct sockaddr;

namespace melvorin::net {

class TIdStack {
public:
    // One use per network component: the first use creates the stack (and
    // starts the system's socket layer where it needs that, once per process;
    // EIdStackInitializationFailed when it cannot), the last release destroys
    // it.
    static void IncUsage();
    static void DecUsage();
    static int UsageCount();
    // The stack while any component is alive, else nullptr.
    static TIdStack* Instance();

    // True when IPv6 datagram sockets can be used: one can be made, and IPv6
    // is not switched off for this network namespace.
    bool SupportsIPv6() const;

    // A dotted IPv4 address: exactly four parts split by ".", each of which,
    // blanks trimmed, reads as an integer from 0 to 255.
    static bool IsIP(const std::string& host);
    // The four bytes of a dotted address, read part by part; nullopt when
    // `host` is not one.
    static std::optional<std::array<std::uint8_t, 4>> DottedBytes(const std::string& host);
    // A dotted host unchanged; any other host looked up by name, giving its
    // first IPv4 address in dotted decimal. Raises socket error 11001 when
    // the lookup fails.
    std::string ResolveHost(const std::string& host) const;

    // The address of a socket address as text: IPv4 in dotted decimal,
    // IPv6 as eight upper-case hexadecimal groups joined by ":" (no "::").
    static std::string AddressText(const sockaddr* address);
    static std::uint16_t AddressPort(const sockaddr* address);

private:
    TIdStack() = default;
};

}  // namespace melvorin::net
