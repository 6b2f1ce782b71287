// Maximal list reply: from the send until the window's handler has returned
// with every row in the list, against the parse alone.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bench.h"
#include "protocol/frame.h"
#include "protocol/scan.h"
#include "qt/form2.h"
#include "qt/widgets.h"

namespace melvorin::bench {

namespace {

// The largest list reply: 8192 bytes, one-byte SSIDs (records of 5 bytes:
// SSID, an uninterpreted byte, the signal strength, 0D 0A) back to back
// after the five header bytes, one filler byte, the checksum. The record
// count byte says 255, so the table holds 256 entries and the list gets 256
// rows; the 257th record ends the handling.
TIdBytes MaximalListReply(std::uint8_t variant) {
    TIdBytes d(8192, 0);
    d[0] = 0xFF;
    d[1] = 0x00;
    d[2] = 0xFF;  // the length byte cannot say 8188; nothing reads it
    d[3] = 0x81;
    d[4] = 0xFF;
    std::size_t at = 5;
    int record = 0;
    while (at + 5 <= d.size() - 1) {
        d[at] = static_cast<std::uint8_t>('A' + (record + variant) % 26);
        d[at + 1] = 0x00;
        d[at + 2] = static_cast<std::uint8_t>((record * 7 + variant) % 101);
        d[at + 3] = 0x0D;
        d[at + 4] = 0x0A;
        at += 5;
        ++record;
    }
    while (at < d.size() - 1) d[at++] = 0x20;
    d[d.size() - 1] = CalcChecksum(d.data() + 1, static_cast<int>(d.size() - 2));
    return d;
}

constexpr int kMaximalRows = 256;

class NoNotice : public INotice {
public:
    void ShowNotice(const TJoinResult&) override {}
};

struct ListResult {
    std::vector<std::int64_t> window;
    std::vector<std::int64_t> parse;
    int rows = 0;
    int incomplete = 0;
};

ListResult MeasureListReply(int replyCount, WindowUnderTest& w) {
    ListResult result;
    const TIdBytes replies[2] = {MaximalListReply(0), MaximalListReply(1)};

    // The parse alone, into a list that only records.
    {
        TRowRecorder list;
        NoNotice notice;
        for (int i = 0; i < 20; ++i) HandleDatagram(replies[i % 2], list, notice);
        for (int i = 0; i < replyCount * 5; ++i) {
            const std::int64_t t0 = NowNs();
            HandleDatagram(replies[i % 2], list, notice);
            result.parse.push_back(NowNs() - t0);
        }
        result.rows = list.RowCount();
    }

    // Through the endpoint and the window: sent on loopback, timed until the
    // window's handler has returned with every row in the list.
    std::mutex lock;
    std::condition_variable handledSignal;
    int handled = 0;
    std::atomic<std::int64_t> sentNs{0};
    w.hooks.after = [&](const TIdBytes& d) {
        if (d.size() != 8192) return;
        const std::int64_t now = NowNs();
        if (w.form.findChild<qt::TListView*>(QStringLiteral("lvSsid"))->rowCount() == kMaximalRows) {
            result.window.push_back(now - sentNs.load());
        } else {
            ++result.incomplete;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            ++handled;
        }
        handledSignal.notify_one();
    };
    RunWithLoop([&] {
        UdpSocket sender("127.0.0.1", 0);
        for (int i = 0; i < replyCount + 10; ++i) {
            // The rows' repaint runs between replies, as it would for a user.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            sentNs = NowNs();
            sender.SendToLoopback(kReplyPort, replies[i % 2].data(), replies[i % 2].size());
            std::unique_lock<std::mutex> guard(lock);
            handledSignal.wait_for(guard, std::chrono::seconds(2), [&] { return handled >= i + 1; });
        }
    });
    w.hooks.after = nullptr;
    // The first ten were the warm-up.
    if (result.window.size() > 10) result.window.erase(result.window.begin(), result.window.begin() + 10);
    return result;
}

void Measure(Context& c) {
    const ListResult list = MeasureListReply(c.options.Pick(200, 40), *c.window);
    const std::int64_t w50 = Quantile(list.window, 0.5), w99 = Quantile(list.window, 0.99);
    const std::int64_t p50 = Quantile(list.parse, 0.5), p99 = Quantile(list.parse, 0.99);
    const std::string what = "Maximal list reply (8192 B, " + std::to_string(list.rows) + " rows)";
    c.rows.push_back({what + " p50", Ms(w50), "parse alone p50", Ms(p50), Ratio(RatioOf(w50, p50)), "< 10 ms",
                      Met(w50 > 0 && w50 < 10'000'000 && list.incomplete == 0)});
    c.rows.push_back({what + " p99", Ms(w99), "parse alone p99", Ms(p99), Ratio(RatioOf(w99, p99)), "-", "-"});
    if (list.incomplete > 0) std::printf("note: %d list replies left the list incomplete\n", list.incomplete);
}

}  // namespace

Benchmark ListReplyBenchmark() { return {"list", "list reply", Stage::InWindow, Measure}; }

}  // namespace melvorin::bench
