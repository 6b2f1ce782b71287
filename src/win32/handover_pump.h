#pragma once

#include <windows.h>

#include "net/handover.h"

namespace melvorin::win32 {

// Runs the calls that listener threads hand over to the window's thread.
// Created on the window's thread, it owns the hand-over that the window's
// endpoint uses (that thread is the hand-over's) and a message-only window of
// that thread; a wake-up posts a message to that window. Every message loop of
// the thread dispatches it: the program's own and the modal loops of native
// boxes and dialogs, so a datagram is handled while a box is open. (A thread
// message would be lost to a modal loop, which dispatches window messages
// only.) Must outlive the endpoint.
class THandOverPump {
public:
    THandOverPump();
    ~THandOverPump();
    THandOverPump(const THandOverPump&) = delete;
    THandOverPump& operator=(const THandOverPump&) = delete;

    net::THandOver& HandOver() { return handOver_; }
    // The message-only window the wake-ups are posted to.
    HWND Window() const { return window_; }

    // The message a wake-up posts.
    static constexpr UINT kWakeUpMessage = WM_APP + 0x21;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    net::THandOver handOver_;
    HWND window_ = nullptr;
};

}  // namespace melvorin::win32
