#include "cli/route.h"

#include <optional>

#include "cli/key_warnings.h"
#include "cli/options.h"
#include "cli/system.h"
#include "net/interfaces.h"
#include "net/sockets.h"

namespace melvorin::cli {

namespace {

// An address in the host's order; nothing when `text` is no dotted IPv4.
std::optional<std::uint32_t> Ipv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

}  // namespace

unsigned BroadcastInterfaceIndex(const std::string& name) {
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Name == name) return iface.Index;
    }
    return 0;
}

unsigned UsableInterface(unsigned index, const std::vector<net::TIdInterface>& broadcast) {
    for (const net::TIdInterface& iface : broadcast) {
        if (iface.Index == index) return index;
    }
    return 0;
}

unsigned InterfaceTowards(const std::string& address) {
    const std::string text = sys::LocalAddressTowards(address);
    if (text.empty()) return 0;
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Address == text) return iface.Index;
    }
    return 0;
}

std::string WhyNoUnicastTo(const std::string& address, const std::vector<net::TIdHostAddress>& host) {
    const std::optional<std::uint32_t> to = Ipv4(address);
    if (!to) return "it is no IPv4 address";
    if (*to == 0xFFFFFFFFu) return "it is the broadcast address, which every host of the segment receives";
    if ((*to >> 24) == 0) return "it is no host's address (0.0.0.0/8)";
    if ((*to >> 28) == 0xE) return "it is a multicast address, which every host of its group receives";
    for (const net::TIdHostAddress& own : host) {
        const std::optional<std::uint32_t> mine = Ipv4(own.Address);
        // A network of 2 or 1 addresses has no broadcast address.
        if (!mine || own.Prefix == 0 || own.Prefix > 30) continue;
        const std::uint32_t mask = 0xFFFFFFFFu << (32 - own.Prefix);
        const std::uint32_t hostPart = *to & ~mask;
        if ((*to & mask) != (*mine & mask) || (hostPart != 0 && hostPart != ~mask)) continue;
        in_addr first{};
        first.s_addr = htonl(*mine & mask);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &first, text, sizeof text);
        const std::string network = std::string(text) + "/" + std::to_string(own.Prefix);
        return hostPart == 0 ? "it is the network address of this computer's network " + network
                                  : "it is the broadcast address of this computer's network " + network +
                                        ", which every host of it receives";
    }
    return {};
}

bool OnThisHost(const std::string& address, const std::vector<net::TIdHostAddress>& host) {
    const std::optional<std::uint32_t> to = Ipv4(address);
    if (to && (*to >> 24) == 127) return true;
    for (const net::TIdHostAddress& own : host) {
        if (own.Address == address) return true;
    }
    return false;
}

void CheckUnicastAddress(const std::string& address) {
    if (const std::string why = WhyNoUnicastTo(address, net::HostAddresses()); !why.empty()) {
        throw UsageError("--unicast: no join request goes to " + address + ": " + why + "; nothing was sent");
    }
}

void CheckJoinSend(std::uint16_t port, const std::string& host) {
    if (host.empty()) {
        RefuseOtherListeners(port);
        return;
    }
    CheckUnicastAddress(host);
    if (OnThisHost(host, net::HostAddresses())) RefuseOtherListeners(port, host);
}

bool AddressBefore(const std::string& a, const std::string& b) {
    in_addr x{}, y{};
    const bool xv4 = inet_pton(AF_INET, a.c_str(), &x) == 1;
    const bool yv4 = inet_pton(AF_INET, b.c_str(), &y) == 1;
    if (xv4 && yv4) return ntohl(x.s_addr) < ntohl(y.s_addr);
    if (xv4 != yv4) return xv4;
    return a < b;
}

}  // namespace melvorin::cli
