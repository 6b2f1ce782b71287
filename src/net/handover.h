#pragma once

// Running a call on the window's thread while the calling thread waits for it.
//
// A listener queues a request on a process-wide queue and blocks until the
// window's thread has run it; an error raised by the call is raised again in
// the listener. The window installs a wake-up that posts to its event loop
// (so requests also run inside modal loops); without a window, a plain loop
// calling RunQueued() serves.

#include <functional>

namespace melvorin::net {

// Marks the calling thread as the window's thread (the thread the queue is
// run on). The first thread that calls any of these functions is the window's
// thread unless this is called.
void SetMainThread();
bool IsMainThread();

// Installed by the window: called (from any thread) whenever a request is
// queued. It must make the window's thread call RunQueued() soon.
void SetWakeUp(std::function<void()> wakeUp);

// Runs `call` on the window's thread and waits until it has run there; an
// error raised by the call is raised again here. On the window's thread the
// call runs at once.
void Synchronize(const std::function<void()>& call);

// On the window's thread: runs every queued request in order. Returns true
// when it ran any.
bool RunQueued();

// On the window's thread: waits up to timeoutMs for a request to be queued
// (returns at once when one is waiting). For plain loops without a window.
bool WaitForQueued(int timeoutMs);

}  // namespace melvorin::net
