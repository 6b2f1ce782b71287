// Throughput: datagrams handled per second under a stream, through the
// window's endpoint, against a QUdpSocket on the window's thread.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "bench.h"

namespace melvorin::bench {

namespace {

struct Stream {
    std::uint32_t run = 0;
    std::atomic<std::uint64_t> sent{0};
    std::int64_t firstSentNs = 0;
    std::uint64_t handled = 0;
    std::int64_t lastHandledNs = 0;

    void OnDatagram(const std::uint8_t* data, std::size_t size) {
        Stamp stamp{};
        if (!ReadStamp(data, size, stamp) || stamp.run != run) return;
        ++handled;
        lastHandledNs = NowNs();
    }

    // Sends bursts for `seconds` from a thread that yields to every other
    // (nice 19), so that the stream takes only the time the receiver leaves,
    // then lets the receiver drain what is queued.
    void Send(std::uint16_t port, double seconds, int nice) {
        SetThreadNice(nice);
        UdpSocket sender("127.0.0.1", 0);
        firstSentNs = NowNs();
        const auto end = firstSentNs + static_cast<std::int64_t>(seconds * 1e9);
        std::uint64_t seq = 0;
        while (NowNs() < end) {
            for (int i = 0; i < 16; ++i) {
                const Stamp stamp{run, 0, seq++, 0};
                sender.SendToLoopback(port, &stamp, sizeof stamp);
            }
        }
        sent = seq;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    double Rate() const {
        const std::int64_t span = lastHandledNs - firstSentNs;
        return span > 0 ? static_cast<double>(handled) * 1e9 / static_cast<double>(span) : 0.0;
    }
    double Loss() const {
        const auto s = sent.load();
        return s > 0 ? 1.0 - static_cast<double>(handled) / static_cast<double>(s) : 0.0;
    }
};

struct StreamResult {
    double product = 0;
    double baseline = 0;
    double lossProduct = 0;
    double lossBaseline = 0;
};

StreamResult MeasureThroughput(const Options& o, WindowUnderTest& w) {
    constexpr double kStreamSeconds = 0.8;  // per stream run
    const int runs = o.Pick(3, 1);          // per side
    std::vector<double> product, baseline, lossP, lossB;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool isProduct = i % 2 == 0;
        Stream s;
        s.run = ++w.run;
        if (isProduct) w.hooks.reopen();
        w.hooks.before = [&s](const TIdBytes& d) { s.OnDatagram(d.data(), d.size()); };
        w.qt.onDatagram = [&s](const std::uint8_t* d, std::size_t n) { s.OnDatagram(d, n); };
        RunWithLoop([&] { s.Send(isProduct ? kReplyPort : kBaselinePort, kStreamSeconds, o.senderNice); });
        (isProduct ? product : baseline).push_back(s.Rate());
        if (o.verbose) {
            std::fprintf(stderr, "  stream %s: sent %llu, handled %llu, %.0f/s\n", isProduct ? "endpoint" : "QUdpSocket",
                         static_cast<unsigned long long>(s.sent.load()), static_cast<unsigned long long>(s.handled),
                         s.Rate());
        }
        (isProduct ? lossP : lossB).push_back(s.Loss());
    }
    w.hooks.before = nullptr;
    w.qt.onDatagram = nullptr;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    return {median(product), median(baseline), median(lossP), median(lossB)};
}

void Measure(Context& c) {
    const StreamResult stream = MeasureThroughput(c.options, *c.window);
    const double r = stream.baseline > 0 ? stream.product / stream.baseline : 0;
    c.rows.push_back({"Throughput, datagrams handled per second",
                      Format("%.0f/s", stream.product) + Format(" (%.0f%% lost)", stream.lossProduct * 100),
                      "QUdpSocket readyRead",
                      Format("%.0f/s", stream.baseline) + Format(" (%.0f%% lost)", stream.lossBaseline * 100),
                      Ratio(r), "ratio ≥ 0.5", Met(r >= 0.5)});
}

}  // namespace

Benchmark ThroughputBenchmark() { return {"throughput", "throughput", Stage::InWindow, Measure}; }

}  // namespace melvorin::bench
