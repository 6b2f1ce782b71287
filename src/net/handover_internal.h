#pragma once

// Parts of the hand-over used by the endpoint and its listeners only.

#include <functional>

namespace melvorin::net::detail {

// Wakes every thread waiting in WaitForQueued() or WaitRunningQueued(), so
// that it looks at its condition again.
void NotifyWaiters();

// On the window's thread: runs queued requests until done() holds, waking at
// least once a second; elsewhere waits until done() holds. done() is checked
// under the queue's lock, so a thread that makes it true must call
// NotifyWaiters() afterwards.
void WaitRunningQueued(const std::function<bool()>& done);

}  // namespace melvorin::net::detail
