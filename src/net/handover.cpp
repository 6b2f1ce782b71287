#include "net/handover.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "net/handover_internal.h"

namespace melvorin::net {

namespace {

struct Request {
    const std::function<void()>* call = nullptr;
    bool done = false;
    std::exception_ptr error;
};

struct Queue {
    std::mutex lock;
    // Signalled when a request is queued or a waiter must look again.
    std::condition_variable queued;
    // Signalled when a request has run.
    std::condition_variable ran;
    std::deque<Request*> requests;
    std::function<void()> wakeUp;
    std::optional<std::thread::id> mainThread;
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

bool IsMainThreadLocked(Queue& q) {
    if (!q.mainThread) q.mainThread = std::this_thread::get_id();
    return *q.mainThread == std::this_thread::get_id();
}

// Runs the first queued request; the lock is held on entry and on return.
// Taking one request at a time lets a call that opens a nested loop leave the
// requests behind it to that loop.
void RunFirst(Queue& q, std::unique_lock<std::mutex>& lock) {
    Request* request = q.requests.front();
    q.requests.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
        (*request->call)();
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    request->error = error;
    request->done = true;
    q.ran.notify_all();
}

}  // namespace

void SetMainThread() {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> lock(q.lock);
    q.mainThread = std::this_thread::get_id();
}

bool IsMainThread() {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> lock(q.lock);
    return IsMainThreadLocked(q);
}

void SetWakeUp(std::function<void()> wakeUp) {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> lock(q.lock);
    q.wakeUp = std::move(wakeUp);
}

void Synchronize(const std::function<void()>& call) {
    Queue& q = TheQueue();
    Request request;
    request.call = &call;
    std::function<void()> wakeUp;
    {
        std::lock_guard<std::mutex> lock(q.lock);
        if (IsMainThreadLocked(q)) {
            request.call = nullptr;
        } else {
            q.requests.push_back(&request);
            q.queued.notify_all();
            wakeUp = q.wakeUp;
        }
    }
    if (request.call == nullptr) {
        call();
        return;
    }
    if (wakeUp) wakeUp();
    {
        std::unique_lock<std::mutex> lock(q.lock);
        q.ran.wait(lock, [&request] { return request.done; });
    }
    if (request.error) std::rethrow_exception(request.error);
}

bool RunQueued() {
    Queue& q = TheQueue();
    std::unique_lock<std::mutex> lock(q.lock);
    if (!IsMainThreadLocked(q)) return false;
    bool ranAny = false;
    while (!q.requests.empty()) {
        RunFirst(q, lock);
        ranAny = true;
    }
    return ranAny;
}

bool WaitForQueued(int timeoutMs) {
    Queue& q = TheQueue();
    std::unique_lock<std::mutex> lock(q.lock);
    if (!q.requests.empty()) return true;
    q.queued.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs));
    return !q.requests.empty();
}

namespace detail {

void NotifyWaiters() {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> lock(q.lock);
    q.queued.notify_all();
}

void WaitRunningQueued(const std::function<bool()>& done) {
    Queue& q = TheQueue();
    std::unique_lock<std::mutex> lock(q.lock);
    const bool mainThread = IsMainThreadLocked(q);
    for (;;) {
        while (mainThread && !q.requests.empty()) RunFirst(q, lock);
        if (done()) return;
        q.queued.wait_for(lock, std::chrono::seconds(1),
                          [&] { return (mainThread && !q.requests.empty()) || done(); });
    }
}

}  // namespace detail

}  // namespace melvorin::net
