// Running calls on the window's thread: queueing, order, errors passed back,
// the wake-up, and calls made on the window's thread itself.

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/handover.h"
#include "net_test_util.h"
#include "protocol/errors.h"

namespace melvorin::net {
namespace {

class HandOver : public ::testing::Test {
protected:
    THandOver handOver;  // this thread is its window's thread
};

TEST_F(HandOver, CallOnTheWindowsThreadRunsAtOnce) {
    bool ran = false;
    handOver.Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(handOver.IsMainThread());
    EXPECT_FALSE(handOver.RunQueued());
    EXPECT_THROW(handOver.Synchronize([] { throw Exception("direct"); }), Exception);
}

TEST_F(HandOver, WorkerWaitsUntilTheWindowsThreadRanItsCall) {
    const auto windowThread = std::this_thread::get_id();
    std::atomic<int> wakeUps{0};
    handOver.SetWakeUp([&] { ++wakeUps; });
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_FALSE(handOver.IsMainThread());
        handOver.Synchronize([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    ASSERT_TRUE(handOver.WaitForQueued(3000));
    // The wake-up follows the queueing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (wakeUps.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_EQ(wakeUps.load(), 1);
    // Nothing has run it yet, so the worker is still waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(handOver.RunQueued());
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(ranOn, windowThread);
}

TEST_F(HandOver, ErrorOfTheCallIsRaisedInTheWorker) {
    std::string caught;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            handOver.Synchronize([] { throw Exception("handler failed"); });
        } catch (const Exception& e) {
            caught = e.Message();
        }
        done = true;
    });
    EXPECT_TRUE(test::PumpUntil(test::LoopOf(handOver), [&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(caught, "handler failed");
}

TEST_F(HandOver, RequestsRunInTheOrderTheyWereQueued) {
    // The wake-up is called after each request is queued, so counting the
    // wake-ups tells when the next worker may queue its own.
    std::atomic<int> queued{0};
    handOver.SetWakeUp([&] { ++queued; });
    std::vector<int> order;
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([this, &order, i] { handOver.Synchronize([&order, i] { order.push_back(i); }); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (queued.load() < i + 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(queued.load(), i + 1);
    }
    EXPECT_TRUE(handOver.RunQueued());
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(HandOver, NestedLoopRunsTheRequestsBehindTheOpenCall) {
    // A handler that opens a modal loop: the loop must still run the other
    // worker's request while the first one's call is open.
    std::atomic<bool> secondRan{false};
    std::thread second;
    std::thread first([&] {
        handOver.Synchronize([&] {
            second = std::thread([&] { handOver.Synchronize([&] { secondRan = true; }); });
            EXPECT_TRUE(test::PumpUntil(test::LoopOf(handOver), [&] { return secondRan.load(); }));
        });
    });
    ASSERT_TRUE(test::PumpUntil(test::LoopOf(handOver), [&] { return secondRan.load(); }));
    first.join();
    second.join();
}

}  // namespace
}  // namespace melvorin::net
