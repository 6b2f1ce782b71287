#pragma once

// Shared by the two start-up probes: once the given top-level widget has
// been painted for the first time and the event loop has come round again,
// a one-byte datagram goes to 127.0.0.1:<port> and the application quits.

#include <QWidget>
#include <cstdint>

namespace melvorin::bench {

// The port from argv[1]; 0 when it is missing or not a port, or when this
// process does not run in a private network namespace (said on stderr).
std::uint16_t ProbePort(int argc, char* argv[]);

// Arranges the datagram and the quit after the first paint of `window`.
void SignalWhenShown(QWidget& window, std::uint16_t port);

// True when this process runs in a private network namespace; otherwise
// false, and the reason on stderr.
bool InPrivateNetns();

}  // namespace melvorin::bench
