// Bench mode's book of units, on a clock of the test's own: retries, swaps,
// units without a hardware address, one unit on two links, the cap.

#include <gtest/gtest.h>

#include "cli/watch_book.h"

namespace melvorin::cli {
namespace {

using namespace std::chrono_literals;
using Clock = WatchBook::Clock;

DeviceReport Unit(const char* link, const char* address, std::optional<std::string> mac = std::nullopt) {
    DeviceReport d;
    d.interfaceName = link;
    d.address = address;
    d.mac = std::move(mac);
    return d;
}

TEST(WatchBook, RetriesAUnitWithoutResultAfterAGrowingWaitUntilMaxTries) {
    WatchBook book(WatchBook::Limits{16, 1h, 4});
    const DeviceReport u = Unit("wlan0", "192.168.4.1", "24:6f:28:00:00:01");
    Clock::time_point t{};
    ASSERT_TRUE(book.Answered(u, true, true, t));
    EXPECT_FALSE(book.Answered(u, true, false, t + 1s)) << "joined again while its join is on its way";
    for (const auto wait : {10s, 30s, 90s}) {
        t += 3s;
        EXPECT_FALSE(book.Finished(u, Verdict::NoResult, t));
        EXPECT_FALSE(book.Answered(u, true, false, t + wait - 1s)) << "tried again before " << wait.count() << " s";
        t += wait;
        EXPECT_TRUE(book.Answered(u, true, false, t)) << "not tried again after " << wait.count() << " s";
    }
    EXPECT_TRUE(book.Finished(u, Verdict::NoResult, t)) << "the fourth try is the last";
    EXPECT_FALSE(book.Answered(u, true, false, t + 50min));
    const WatchBook::Summary s = book.Summarise();
    EXPECT_EQ(s.units, 1u);
    EXPECT_EQ(s.noResult, 1u);
    EXPECT_EQ(s.exitCode, 3);
    EXPECT_EQ(WatchBook::RetryAfter(9), 5min);
}

TEST(WatchBook, AUnitWithoutHardwareAddressCountsAsNewOnlyOnceItsAddressIsKnown) {
    WatchBook book;
    Clock::time_point t{};
    const DeviceReport bare = Unit("wlan0", "192.168.4.1");
    ASSERT_TRUE(book.Answered(bare, true, true, t));
    book.Finished(bare, Verdict::Accepted, t + 1s);
    EXPECT_FALSE(book.Answered(bare, true, true, t + 10s)) << "heard anew, still without hardware address: the same unit";
    // The neighbour table tells it without a silence: the same unit, whose
    // verdict follows it.
    const DeviceReport known = Unit("wlan0", "192.168.4.1", "02:00:00:00:00:02");
    EXPECT_FALSE(book.Answered(known, true, false, t + 11s));
    EXPECT_EQ(book.Summarise().units, 1u);

    // Another unit without one, then after a silence with one: possibly
    // another unit, never handed the old verdict.
    const DeviceReport other = Unit("wlan1", "192.168.5.1");
    ASSERT_TRUE(book.Answered(other, true, true, t));
    book.Finished(other, Verdict::Accepted, t + 1s);
    EXPECT_TRUE(book.Answered(Unit("wlan1", "192.168.5.1", "24:6f:28:00:00:05"), true, true, t + 20s));
    EXPECT_EQ(book.Summarise().units, 3u);
}

TEST(WatchBook, AUnitOnTwoLinksIsJoinedOnceAndAnotherPutAtItsAddressIsJoinedToo) {
    WatchBook book;
    Clock::time_point t{};
    const DeviceReport onA = Unit("veth0", "192.168.4.1", "24:6f:28:00:00:01");
    ASSERT_TRUE(book.Answered(onA, true, true, t));
    EXPECT_FALSE(book.Answered(Unit("veth1", "192.168.5.1", "24:6f:28:00:00:01"), true, true, t));
    book.Finished(Unit("veth1", "192.168.5.1", "24:6f:28:00:00:01"), Verdict::KeyFormat, t + 1s);  // by the other link
    EXPECT_FALSE(book.Answered(onA, true, false, t + 1h - 1s));
    EXPECT_TRUE(book.Answered(Unit("veth0", "192.168.4.1", "24:6f:28:00:00:03"), true, true, t + 1h));  // swapped
    EXPECT_FALSE(book.Answered(Unit("veth0", "192.168.4.9", "24:6f:28:00:00:09"), false, true, t + 1h));
    const WatchBook::Summary s = book.Summarise();
    EXPECT_EQ(s.units, 2u);
    EXPECT_EQ(s.refused, 1u);
    EXPECT_EQ(s.exitCode, 4);
}

TEST(WatchBook, HoldsAtMostItsCapAndForgetsUnitsUnheardForAnHourButCountsThem) {
    WatchBook book(WatchBook::Limits{100, 1h, 0});
    Clock::time_point t{};
    const DeviceReport first = Unit("lo", "127.0.0.1", "24:6f:28:00:00:01");
    ASSERT_TRUE(book.Answered(first, true, true, t));
    for (int i = 1; i < 1000; ++i) {
        const DeviceReport u = Unit("lo", ("127.0.1." + std::to_string(i)).c_str());
        ASSERT_TRUE(book.Answered(u, true, true, t + 1s));
        book.Finished(u, i % 2 == 0 ? Verdict::Accepted : Verdict::NoResult, t + 1s);
        EXPECT_LE(book.Size(), 100u);
    }
    book.Finished(first, Verdict::Accepted, t + 2s);  // forgotten while joining: counted all the same
    WatchBook::Summary s = book.Summarise();
    EXPECT_EQ(s.units, 1000u);
    EXPECT_EQ(s.accepted, 500u);
    EXPECT_EQ(s.noResult, 500u);
    // An hour later everything held is forgotten; the first unit is new again.
    EXPECT_TRUE(book.Answered(first, true, true, t + 1h + 2s));
    EXPECT_EQ(book.Size(), 1u);
    EXPECT_EQ(book.Summarise().units, 1001u);
}

}  // namespace
}  // namespace melvorin::cli
