#pragma once

// Which of the host's interfaces a datagram to a device takes.

#include <string>

namespace melvorin::cli {

// Index of the interface called `name`; 0 when there is none.
unsigned InterfaceIndex(const std::string& name);

// The interface the kernel's route to `address` (dotted IPv4) leaves by;
// 0 when there is no route or it is loopback.
unsigned InterfaceTowards(const std::string& address);

// `index` itself, or 0 when it is unknown or a loopback interface (a
// broadcast out of it reaches no device: send as the scan goes instead).
unsigned UsableInterface(unsigned index);

}  // namespace melvorin::cli
