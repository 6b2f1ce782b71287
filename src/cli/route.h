#pragma once

// Which of the host's interfaces a datagram to a device takes.

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

}  // namespace melvorin::cli
