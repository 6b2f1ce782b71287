#pragma once

// Which of the host's interfaces a datagram to a device takes, and whom a
// join request may go to.

#include <cstdint>
#include <string>
#include <vector>

#include "net/interfaces.h"

namespace melvorin::cli {

// Index of the broadcast interface (up, not loopback, with an IPv4 address,
// able to broadcast) called `name`; 0 when there is none.
unsigned BroadcastInterfaceIndex(const std::string& name);

// The broadcast interface the kernel's route to `address` (dotted IPv4)
// leaves by; 0 when there is no route or it leaves by another interface.
unsigned InterfaceTowards(const std::string& address);

// `index` itself when it is one of `broadcast` (BroadcastInterfaces(), read
// once for many look-ups), else 0 (unknown or loopback: send as the scan goes
// instead).
unsigned UsableInterface(unsigned index, const std::vector<net::TIdInterface>& broadcast);

// Why a join request must not go to `address` (dotted IPv4) by unicast: it
// would reach every host of a network (a broadcast, network or multicast
// address, one of `host`'s networks included); "" when it may. `host`: this
// computer's addresses (net::HostAddresses()).
std::string WhyNoUnicastTo(const std::string& address, const std::vector<net::TIdHostAddress>& host);

// Whether `address` is this computer's own: in 127.0.0.0/8 or one of `host`.
bool OnThisHost(const std::string& address, const std::vector<net::TIdHostAddress>& host);

// Raises UsageError, naming `address` and why, when WhyNoUnicastTo() refuses
// it for this computer's addresses.
void CheckUnicastAddress(const std::string& address);

// Before each join request goes out, to `host` ("" for a broadcast) on
// `port`: CheckUnicastAddress(host) for a unicast, and raises net::EOtherListeners when a program of another user on this
// computer would receive the request (a broadcast, or a unicast to this
// computer's own address).
void CheckJoinSend(std::uint16_t port, const std::string& host);

// Dotted IPv4 addresses in numeric order, anything else after them.
bool AddressBefore(const std::string& a, const std::string& b);

}  // namespace melvorin::cli
