#pragma once

// Who gets the key, told honestly: a key file others can read, a key that no
// WPA2 network takes (warned of; the join still goes), and the other users'
// programs on this computer that a broadcast join would hand the key to
// (then nothing is broadcast).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/local_listeners.h"

namespace melvorin::cli {

// Warnings about the key before the join goes out, each a line for stderr
// without the program's name: the key file (not "-") when other users may
// read it, and the key when no WPA2 network takes it.
std::vector<std::string> KeyWarnings(const std::optional<std::string>& keyFile, const std::string& keyText);

// After a device refused the key's format: what a WPA2 key is, when
// `keyText` is none; "" for a key a WPA2 network takes.
std::string KeyFormatHint(const std::string& keyText);

// Raises net::EOtherListeners, naming the port and the owners, when another
// user's socket on this computer would receive a broadcast to `port` (with
// `unicastTo`, one of this computer's addresses: a unicast to it).
void RefuseOtherListeners(std::uint16_t port, const std::string& unicastTo = "");

}  // namespace melvorin::cli
