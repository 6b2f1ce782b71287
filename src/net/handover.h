#pragma once

// Running a call on the window's thread while the calling thread waits for it.
//
// One THandOver belongs to one window's thread: the thread that creates it.
// A listener queues a request and blocks until that thread has run it; an
// error raised by the call is raised again in the listener. The window
// installs a wake-up that posts to its event loop (so requests also run
// inside modal loops); without a window, a plain loop calling WaitForQueued()
// and RunQueued() serves. An endpoint with ThreadedEvent (melvorin-cli's)
// hands nothing over per datagram and uses its hand-over only to close.
//
// The object must outlive every endpoint that uses it.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace melvorin::net {

class THandOver {
public:
    // The calling thread becomes the window's thread of this hand-over.
    THandOver();
    THandOver(const THandOver&) = delete;
    THandOver& operator=(const THandOver&) = delete;

    // True on the window's thread. Has no side effect.
    bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

    // Called (from any thread) whenever a request is queued. It must make the
    // window's thread call RunQueued() soon. Empty: nobody is woken.
    void SetWakeUp(std::function<void()> wakeUp);

    // Runs `call` on the window's thread and waits until it has run there; an
    // error raised by the call is raised again here. On the window's thread the
    // call runs at once.
    void Synchronize(const std::function<void()>& call);

    // On the window's thread: runs every queued request in order. Returns true
    // when it ran any; elsewhere does nothing.
    bool RunQueued();

    // Waits up to timeoutMs for a request to be queued (returns at once when
    // one is waiting).
    bool WaitForQueued(int timeoutMs);

    // On the window's thread: runs queued requests until done() holds;
    // elsewhere only waits for it. done() is read under the queue's lock, so
    // it must not take other locks that are held while calling in here; a
    // thread that makes it true calls Notify() afterwards.
    void RunUntil(const std::function<bool()>& done);
    void Notify();

private:
    struct Request;
    // Runs the first queued request; `lock` is held on entry and on return.
    void RunFirst(std::unique_lock<std::mutex>& lock);

    const std::thread::id mainThread_;
    std::mutex lock_;
    // Signalled when a request is queued or a waiter must look again.
    std::condition_variable queued_;
    std::deque<Request*> requests_;
    std::function<void()> wakeUp_;
};

}  // namespace melvorin::net
