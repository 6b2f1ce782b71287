#pragma once

// Shared by the two start-up probes: once the given top-level widget has
// been painted for the first time and the event loop has come round again,
// a one-byte datagram goes to 127.0.0.1:<port> and the application quits.

#include <QWidget>
#include <cstdint>

namespace melvorin::bench {

// Reads the port from argv[1]; 0 when it is missing or not a port.
std::uint16_t ProbePort(int argc, char* argv[]);

// Arranges the datagram and the quit after the first paint of `window`.
void SignalWhenShown(QWidget& window, std::uint16_t port);

// Empty when this process runs in a private network namespace.
bool InPrivateNetns();

}  // namespace melvorin::bench
