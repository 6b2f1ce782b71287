#pragma once

// Helpers of the transport tests: a plain loop standing in for the window's
// thread, and the shared UDP socket of the tests.

#include <chrono>
#include <functional>

#include "net/handover.h"
#include "udp_peer.h"

namespace melvorin::net::test {

using melvorin::testing::SocketIntOption;
using melvorin::testing::UdpPeer;

// Runs the hand-overs of `handOver` on this thread (its window's thread)
// until `done` holds or `timeoutMs` passed. Returns whether `done` held.
inline bool PumpUntil(THandOver& handOver, const std::function<bool()>& done, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        handOver.RunQueued();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        handOver.WaitForQueued(10);
    }
}

// Runs hand-overs for `ms` milliseconds.
inline void PumpFor(THandOver& handOver, int ms) {
    PumpUntil(handOver, [] { return false; }, ms);
}

}  // namespace melvorin::net::test
