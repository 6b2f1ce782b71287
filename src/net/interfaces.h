#pragma once

// The host's network interfaces as the endpoint sees them: which ones a
// broadcast goes out of, and the names of the ones datagrams arrive on.

#include <string>
#include <vector>

namespace melvorin::net {

struct TIdInterface {
    unsigned Index = 0;   // the kernel's interface index
    std::string Name;     // "wlan0"
    std::string Address;  // its IPv4 address, dotted
};

// The interfaces a limited broadcast goes out of: up, not loopback, with an
// IPv4 address, able to broadcast; in the kernel's order, each once.
std::vector<TIdInterface> BroadcastInterfaces();

// One IPv4 address an interface of this host holds, with the length of its
// network's prefix.
struct TIdHostAddress {
    std::string Address;  // dotted
    unsigned Prefix = 32;
};

// Every IPv4 address of this host's interfaces, loopback and interfaces that
// are down included; empty when the system cannot tell.
std::vector<TIdHostAddress> HostAddresses();

// The name of interface `index`; "" when there is none.
std::string InterfaceName(unsigned index);

}  // namespace melvorin::net
