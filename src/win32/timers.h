#pragma once

// The ids of the window logic's two timers on the Win32 window: one table,
// read one way to start and stop a timer and the other way when it fires.

#include <windows.h>

#include <array>
#include <optional>

#include "window/status_model.h"

namespace melvorin::win32 {

struct TTimerId {
    window::TTimer timer;
    UINT_PTR id;  // never 0
};
inline constexpr std::array<TTimerId, 2> kTimerIds{{{window::TTimer::Scan, 1}, {window::TTimer::Join, 2}}};

constexpr UINT_PTR TimerId(window::TTimer timer) {
    for (const TTimerId& t : kTimerIds) {
        if (t.timer == timer) return t.id;
    }
    return 0;
}

// The logic's timer of a WM_TIMER message; nothing for an id not in the
// table (a timer someone else set).
constexpr std::optional<window::TTimer> TimerOf(UINT_PTR id) {
    for (const TTimerId& t : kTimerIds) {
        if (t.id == id) return t.timer;
    }
    return std::nullopt;
}

static_assert(TimerOf(TimerId(window::TTimer::Scan)) == window::TTimer::Scan &&
                  TimerOf(TimerId(window::TTimer::Join)) == window::TTimer::Join,
              "every timer has an id of its own");

}  // namespace melvorin::win32
