#pragma once

// The two UDP ports of the provisioning protocol, written here once for every
// program: requests go to a device's search port, replies come back to the
// tool's reply port.

#include <cstdint>

namespace melvorin {

// The local port every reply is sent to; the tool binds it.
inline constexpr std::uint16_t kReplyPort = 12345;
// The search port a device listens on, unless the user names another.
inline constexpr std::uint16_t kDefaultSearchPort = 1902;

}  // namespace melvorin
