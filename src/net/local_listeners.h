#pragma once

// Who else on this host would receive a datagram sent to a port: a
// broadcast a host sends is also delivered to its own sockets bound to that
// port, whoever owns them, and so is a unicast to one of its own addresses. A
// join request carries the key in clear, so it is sent only when no other
// user holds such a socket.
// local_listeners_linux.cpp and local_listeners_windows.cpp implement it.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/errors.h"

namespace melvorin::net {

// The owners of the sockets on this host, in this network namespace, that a
// datagram broadcast to 255.255.255.255:`port` would reach (with
// `unicastTo`, a dotted IPv4 address of this host: a datagram sent to that
// address and `port`), and that belong
// neither to the calling user nor to the system's administrator (root;
// SYSTEM or an elevated administrator on Windows), each once: "nobody
// (uid 65534)", "uid 1234", "HOST\\alice", or, where the system does not let
// this user read the owner, "the owner of process 812, which this account
// may not read". Empty when there are none; raises EIdLocalListeners when the
// sockets cannot be read at all.
std::vector<std::string> OtherUsersListening(std::uint16_t port, const std::string& unicastTo = "");

// The sockets of the host could not be read, so nothing can be said of them.
using EIdLocalListeners = TErrorKind<"EIdLocalListeners">;

// Other users' programs bound to the search port: the join request would
// reach them, so it is not sent.
using EOtherListeners = TErrorKind<"EOtherListeners">;

}  // namespace melvorin::net
