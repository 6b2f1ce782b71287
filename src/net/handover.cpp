#include "net/handover.h"

#include <chrono>
#include <exception>

namespace melvorin::net {

// A request lives on the stack of the thread that waits for it and carries
// its own signal, so that once queued the waiting thread needs nothing of the
// hand-over object any more (a listener that its endpoint let go while its
// handler ran may still be waking up when the object is gone).
struct THandOver::Request {
    const std::function<void()>* call = nullptr;
    std::mutex lock;
    std::condition_variable ran;
    bool done = false;
    std::exception_ptr error;
};

THandOver::THandOver() : mainThread_(std::this_thread::get_id()) {}

void THandOver::SetWakeUp(std::function<void()> wakeUp) {
    std::lock_guard<std::mutex> lock(lock_);
    wakeUp_ = std::move(wakeUp);
}

void THandOver::Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    Request request;
    request.call = &call;
    std::function<void()> wakeUp;
    {
        std::lock_guard<std::mutex> lock(lock_);
        requests_.push_back(&request);
        queued_.notify_all();
        wakeUp = wakeUp_;
    }
    if (wakeUp) wakeUp();
    {
        std::unique_lock<std::mutex> lock(request.lock);
        request.ran.wait(lock, [&request] { return request.done; });
    }
    if (request.error) std::rethrow_exception(request.error);
}

// One request at a time: a call that opens a nested loop leaves the requests
// behind it to that loop.
void THandOver::RunFirst(std::unique_lock<std::mutex>& lock) {
    Request* request = requests_.front();
    requests_.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
        (*request->call)();
    } catch (...) {
        error = std::current_exception();
    }
    {
        // Signalled under the request's lock: its owner cannot see `done`,
        // return and free the request before the lock is released. The error
        // is moved: from here on only its owner holds it.
        std::lock_guard<std::mutex> signal(request->lock);
        request->error = std::move(error);
        request->done = true;
        request->ran.notify_one();
    }
    lock.lock();
}

bool THandOver::RunQueued() {
    if (!IsMainThread()) return false;
    std::unique_lock<std::mutex> lock(lock_);
    bool ranAny = false;
    while (!requests_.empty()) {
        RunFirst(lock);
        ranAny = true;
    }
    return ranAny;
}

bool THandOver::WaitForQueued(int timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return queued_.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                            [this] { return !requests_.empty(); });
}

void THandOver::RunUntil(const std::function<bool()>& done) {
    const bool runs = IsMainThread();
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        while (runs && !requests_.empty()) RunFirst(lock);
        if (done()) return;
        queued_.wait(lock, [&] { return (runs && !requests_.empty()) || done(); });
    }
}

void THandOver::Notify() {
    std::lock_guard<std::mutex> lock(lock_);
    queued_.notify_all();
}

}  // namespace melvorin::net
