#pragma once

// Helpers of the transport tests: a plain loop standing in for the window's
// thread, and the shared UDP socket of the tests.

#include "net/handover.h"
#include "pump.h"
#include "udp_peer.h"

namespace melvorin::net::test {

using melvorin::testing::PumpFor;
using melvorin::testing::PumpUntil;
using melvorin::testing::SocketIntOption;
using melvorin::testing::UdpPeer;

// The hand-overs of `handOver` run on this thread (its window's thread), for
// PumpUntil and PumpFor.
inline melvorin::testing::PumpLoop LoopOf(THandOver& handOver) {
    return {[&handOver] {
                handOver.RunQueued();
                return true;
            },
            [&handOver](int ms) { handOver.WaitForQueued(ms); }};
}

}  // namespace melvorin::net::test
