// Hand-over round trip: a datagram on loopback until OnUDPRead runs on the
// window's thread, against QUdpSocket's readyRead there; with its two halves
// (datagram to the listener thread, and THandOver::Synchronize against Qt's
// blocking queued call) and back-to-back and one-processor figures for
// information.

#include <sched.h>

#include <QObject>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bench.h"
#include "net/handover.h"
#include "net/listener.h"
#include "net/udp_server.h"
#include "qt/form2.h"

namespace melvorin::bench {

namespace {

struct RoundTrip {
    std::mutex lock;
    std::condition_variable handledSignal;
    std::uint64_t handled = 0;
    std::uint32_t run = 0;
    std::vector<std::int64_t> latencies;
    int lost = 0;
    int pauseUs = 0;

    void OnDatagram(const std::uint8_t* data, std::size_t size) {
        const std::int64_t now = NowNs();
        Stamp stamp{};
        if (!ReadStamp(data, size, stamp) || stamp.run != run) return;
        latencies.push_back(now - stamp.sentNs);
        {
            std::lock_guard<std::mutex> guard(lock);
            handled = stamp.seq + 1;
        }
        handledSignal.notify_one();
    }

    // Sends `count` datagrams to 127.0.0.1:port, each once the one before
    // has been handled and a pause has let both threads settle, so that every
    // datagram meets a receiver at rest, as a device's reply does.
    void Send(std::uint16_t port, int count) {
        UdpSocket sender("127.0.0.1", 0);
        for (int i = 0; i < count; ++i) {
            if (pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
            const auto seq = static_cast<std::uint64_t>(i);
            const Stamp stamp{run, 0, seq, NowNs()};
            sender.SendToLoopback(port, &stamp, sizeof stamp);
            std::unique_lock<std::mutex> guard(lock);
            if (!handledSignal.wait_for(guard, std::chrono::seconds(1), [&] { return handled >= seq + 1; })) {
                ++lost;
            }
        }
    }
};

struct RoundTripResult {
    std::vector<std::int64_t> product;
    std::vector<std::int64_t> baseline;
    int lostProduct = 0;
    int lostBaseline = 0;
};

// Alternating blocks of round trips through the endpoint and through the
// QUdpSocket, so that a change of the machine's load meets both alike. Each
// block has a new sending thread, and each endpoint block new listeners: on
// a machine where waking a thread on another, idle processor costs much more
// than on the same one, the figures would otherwise depend on where the
// scheduler happened to put the threads at the start.
RoundTripResult MeasureRoundTrip(int count, int blocks, int pauseUs, WindowUnderTest& w) {
    RoundTripResult result;
    const int perBlock = std::max(1, count / blocks);
    // Warm-up of both paths, not counted.
    for (int side = 0; side < 2; ++side) {
        RoundTrip warm;
        warm.run = ++w.run;
        warm.pauseUs = pauseUs;
        w.hooks.before = [&warm](const TIdBytes& d) { warm.OnDatagram(d.data(), d.size()); };
        w.qt.onDatagram = [&warm](const std::uint8_t* d, std::size_t n) { warm.OnDatagram(d, n); };
        RunWithLoop([&] { warm.Send(side == 0 ? kReplyPort : kBaselinePort, 200); });
    }
    for (int block = 0; block < 2 * blocks; ++block) {
        const bool product = block % 2 == 0;
        RoundTrip rt;
        rt.run = ++w.run;
        rt.pauseUs = pauseUs;
        rt.latencies.reserve(static_cast<std::size_t>(perBlock));
        if (product) w.hooks.reopen();
        w.hooks.before = [&rt](const TIdBytes& d) { rt.OnDatagram(d.data(), d.size()); };
        w.qt.onDatagram = [&rt](const std::uint8_t* d, std::size_t n) { rt.OnDatagram(d, n); };
        RunWithLoop([&] { rt.Send(product ? kReplyPort : kBaselinePort, perBlock); });
        auto& into = product ? result.product : result.baseline;
        into.insert(into.end(), rt.latencies.begin(), rt.latencies.end());
        (product ? result.lostProduct : result.lostBaseline) += rt.lost;
    }
    w.hooks.before = nullptr;
    w.qt.onDatagram = nullptr;
    return result;
}

// Runs `measure` with the window's thread held to the processor it is on.
// Threads started meanwhile inherit that: the senders, and the listeners of
// the endpoint, which each block reopens. Afterwards the endpoint is reopened
// once more, so its listeners are free again.
RoundTripResult MeasureOnOneCpu(const std::function<RoundTripResult()>& measure, ReadHooks& hooks) {
    cpu_set_t before;
    CPU_ZERO(&before);
    if (::sched_getaffinity(0, sizeof before, &before) != 0) return {};
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(::sched_getcpu(), &one);
    if (::sched_setaffinity(0, sizeof one, &one) != 0) return {};
    RoundTripResult result = measure();
    ::sched_setaffinity(0, sizeof before, &before);
    hooks.reopen();
    return result;
}

// The first half of the hand-over path alone: an endpoint whose handler runs
// on the listener's own thread (ThreadedEvent), so the time from the send to
// the listener having the datagram in hand. The rest of the round trip is the
// hand-over to the window's thread.
std::vector<std::int64_t> MeasureListenerOnly(net::THandOver& handOver, int count, int blocks, int pauseUs,
                                              std::uint32_t& run) {
    constexpr std::uint16_t kPort = 12346;
    std::vector<std::int64_t> all;
    for (int block = 0; block < blocks; ++block) {
        RoundTrip rt;
        rt.pauseUs = pauseUs;
        net::TIdUDPServer server(handOver, "bench");
        server.SetDefaultPort(kPort);
        server.ThreadedEvent = true;
        server.OnUDPRead = [&rt](net::TIdUDPListenerThread&, const TIdBytes& d, net::TIdSocketHandle&) {
            rt.OnDatagram(d.data(), d.size());
        };
        server.SendDatagram("127.0.0.1", 9, TIdBytes{0});
        rt.run = ++run;
        std::thread sender([&] { rt.Send(kPort, std::max(1, count / blocks)); });
        sender.join();
        all.insert(all.end(), rt.latencies.begin(), rt.latencies.end());
    }
    return all;
}

// The hand-over without sockets: a thread that hands calls over with
// THandOver::Synchronize, against one that makes Qt's own blocking queued call.
// Each call records the time since its thread began handing it over. Paused
// between calls like the round trips, in alternating blocks, each block on a
// new thread.
struct HandOverOnly {
    std::vector<std::int64_t> synchronize;
    std::vector<std::int64_t> qtBlocking;
};

HandOverOnly MeasureHandOverOnly(net::THandOver& handOver, int count, int blocks, int pauseUs) {
    HandOverOnly result;
    QObject target;
    std::int64_t startNs = 0;
    std::vector<std::int64_t>* into = nullptr;
    const std::function<void()> record = [&] { into->push_back(NowNs() - startNs); };
    for (int block = 0; block < 2 * blocks; ++block) {
        const bool ours = block % 2 == 0;
        into = ours ? &result.synchronize : &result.qtBlocking;
        RunWithLoop([&] {
            for (int i = 0; i < std::max(1, count / blocks); ++i) {
                if (pauseUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
                startNs = NowNs();
                if (ours) {
                    handOver.Synchronize(record);
                } else {
                    QMetaObject::invokeMethod(&target, record, Qt::BlockingQueuedConnection);
                }
            }
        });
    }
    return result;
}

void AddRoundTripRows(const RoundTripResult& rt, const RoundTripResult& oneCpu, const RoundTripResult& backToBack,
                      const std::vector<std::int64_t>& listenerOnly, const HandOverOnly& handOver,
                      std::vector<Row>& rows) {
    const std::int64_t p50 = Quantile(rt.product, 0.5), p99 = Quantile(rt.product, 0.99);
    const std::int64_t b50 = Quantile(rt.baseline, 0.5), b99 = Quantile(rt.baseline, 0.99);
    const std::string n = std::to_string(rt.product.size());
    rows.push_back({"Hand-over round trip p50 (" + n + " datagrams)", Us(p50), "QUdpSocket readyRead p50", Us(b50),
                    Ratio(RatioOf(p50, b50)), "-", "-"});
    rows.push_back({"Hand-over round trip p99 (" + n + " datagrams)", Us(p99), "QUdpSocket readyRead p99", Us(b99),
                    Ratio(RatioOf(p99, b99)), "ratio ≤ 2",
                    Met(p99 > 0 && RatioOf(p99, b99) <= 2.0 && rt.lostProduct == 0)});
    // Information lines: p50 / p99 in one cell.
    const auto pair = [&rows](const std::string& what, const std::vector<std::int64_t>& ours,
                              const std::string& baselineName, const std::vector<std::int64_t>& theirs) {
        if (ours.empty()) return;
        const std::int64_t o50 = Quantile(ours, 0.5), o99 = Quantile(ours, 0.99);
        const std::int64_t t50 = Quantile(theirs, 0.5), t99 = Quantile(theirs, 0.99);
        rows.push_back({what, Us(o50) + " / " + Us(o99), baselineName, Us(t50) + " / " + Us(t99),
                        Ratio(RatioOf(o50, t50)) + " / " + Ratio(RatioOf(o99, t99)), "-", "-"});
    };
    pair("  of which: datagram to listener thread, p50 / p99", listenerOnly, "QUdpSocket readyRead", rt.baseline);
    pair("  of which: hand-over to window's thread, p50 / p99", handOver.synchronize,
         "Qt BlockingQueuedConnection", handOver.qtBlocking);
    pair("  same, all threads on one processor (" + std::to_string(oneCpu.product.size()) + "), p50 / p99",
         oneCpu.product, "QUdpSocket readyRead", oneCpu.baseline);
    pair("  same, back to back (" + std::to_string(backToBack.product.size()) + "), p50 / p99", backToBack.product,
         "QUdpSocket readyRead", backToBack.baseline);
    const int lostP = rt.lostProduct + oneCpu.lostProduct + backToBack.lostProduct;
    const int lostB = rt.lostBaseline + oneCpu.lostBaseline + backToBack.lostBaseline;
    if (lostP + lostB > 0) std::printf("note: round trips lost: endpoint %d, QUdpSocket %d\n", lostP, lostB);
}

void Measure(Context& c) {
    const Options& o = c.options;
    WindowUnderTest& w = *c.window;
    const int trips = o.Pick(10000, 2000);  // per side
    const int blocks = o.Pick(20, 4);       // alternating blocks per side
    const int oneCpuTrips = o.Pick(4000, 1000);
    const int backToBackTrips = o.Pick(4000, 1000);
    const RoundTripResult atRest = MeasureRoundTrip(trips, blocks, o.pauseUs, w);
    const RoundTripResult oneCpu =
        MeasureOnOneCpu([&] { return MeasureRoundTrip(oneCpuTrips, 4, o.pauseUs, w); }, w.hooks);
    const RoundTripResult backToBack = MeasureRoundTrip(backToBackTrips, 2, 0, w);
    // The window's own hand-over, run by the program's pump.
    net::THandOver& windowHandOver = w.form.Logic().Endpoint().HandOver();
    const std::vector<std::int64_t> listenerOnly =
        MeasureListenerOnly(windowHandOver, trips / 2, blocks, o.pauseUs, w.run);
    const HandOverOnly handOver = MeasureHandOverOnly(windowHandOver, trips / 2, blocks, o.pauseUs);
    AddRoundTripRows(atRest, oneCpu, backToBack, listenerOnly, handOver, c.rows);
}

}  // namespace

Benchmark RoundTripBenchmark() { return {"roundtrip", "hand-over round trip", Stage::InWindow, Measure}; }

}  // namespace melvorin::bench
