#pragma once

// A thread's loop run by a test until a condition holds: the transport's
// hand-over queue (tests/net/net_test_util.h) or a window's messages
// (tests/win32/form_test.cpp).

#include <chrono>
#include <functional>

namespace melvorin::testing {

// What a loop does on each turn.
struct PumpLoop {
    std::function<bool()> run;       // runs what is queued; false when the loop was told to end
    std::function<void(int)> wait;   // waits up to so many ms for something to be queued
};

// Runs `loop` until `done` holds or `timeoutMs` passed. Returns whether
// `done` held; false too when the loop ended first.
inline bool PumpUntil(const PumpLoop& loop, const std::function<bool()>& done, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!loop.run()) return false;
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        loop.wait(10);
    }
}

// Runs `loop` for `ms` milliseconds (or until it ends).
inline void PumpFor(const PumpLoop& loop, int ms) {
    PumpUntil(loop, [] { return false; }, ms);
}

}  // namespace melvorin::testing
