// Start-up: spawn until the scan is on the wire (the program) and until the
// window is shown (a probe with the program's window), against a trivial Qt
// program's spawn until shown.

#include <signal.h>

#include <cstring>

#include "bench.h"
#include "child_process.h"

namespace melvorin::bench {

namespace {

constexpr std::uint16_t kShownPort = 1903;

struct StartupResult {
    std::vector<std::int64_t> programScan;  // melvorin: spawn -> scan request arrives
    std::vector<std::int64_t> formShown;    // probe with TForm2: spawn -> shown
    std::vector<std::int64_t> emptyShown;   // trivial Qt program: spawn -> shown
    int failures = 0;
};

void Drain(UdpSocket& s) {
    char buf[64];
    while (s.Receive(buf, sizeof buf, 0) >= 0) {
    }
}

// Spawns `argv`, waits for a datagram on `socket` (checked by `accept`),
// and returns the time from spawn to its arrival, or -1. The child is ended
// afterwards.
std::int64_t TimeSpawn(const std::vector<std::string>& argv, UdpSocket& socket,
                       const std::function<bool(const char*, long)>& accept, bool terminate) {
    Drain(socket);
    const std::int64_t t0 = NowNs();
    testing::ChildProcess child(argv[0], {argv.begin() + 1, argv.end()}, testing::ChildProcess::Output::Discard);
    if (!child.Started()) return -1;
    std::int64_t elapsed = -1;
    char buf[64];
    const std::int64_t deadline = t0 + 10'000'000'000LL;
    while (NowNs() < deadline) {
        const long n = socket.Receive(buf, sizeof buf, 100);
        if (n >= 0 && accept(buf, n)) {
            elapsed = NowNs() - t0;
            break;
        }
    }
    if (terminate || elapsed < 0) child.Signal(SIGTERM);
    child.WaitExit(30'000);
    return elapsed;
}

StartupResult MeasureStartup(const Options& o) {
    StartupResult result;
    // The scan request goes to 255.255.255.255:1902, which the namespace
    // routes to loopback: a socket on the any-address receives it.
    UdpSocket scan("0.0.0.0", kDefaultSearchPort);
    UdpSocket shown("127.0.0.1", kShownPort);
    const auto isScan = [](const char* b, long n) {
        static const unsigned char request[5] = {0xFF, 0x00, 0x01, 0x01, 0x02};
        return n == 5 && std::memcmp(b, request, 5) == 0;
    };
    const auto isMarker = [](const char* b, long n) { return n == 1 && b[0] == 'S'; };
    const std::string port = std::to_string(kShownPort);
    const int runs = o.Pick(7, 2);  // per program, after one warm-up
    for (int i = 0; i <= runs; ++i) {
        const bool warmUp = i == 0;
        const std::int64_t e = TimeSpawn({o.emptyWindow, port}, shown, isMarker, false);
        const std::int64_t p = TimeSpawn({o.melvorin}, scan, isScan, true);
        const std::int64_t f = TimeSpawn({o.formWindow, port}, shown, isMarker, false);
        if (e < 0 || p < 0 || f < 0) ++result.failures;
        if (warmUp) continue;
        if (e >= 0) result.emptyShown.push_back(e);
        if (p >= 0) result.programScan.push_back(p);
        if (f >= 0) result.formShown.push_back(f);
    }
    return result;
}

void AddStartupRows(const StartupResult& startup, std::vector<Row>& rows) {
    const std::int64_t base = Quantile(startup.emptyShown, 0.5);
    const std::int64_t scan = Quantile(startup.programScan, 0.5);
    const std::int64_t shown = Quantile(startup.formShown, 0.5);
    const std::string n = std::to_string(startup.emptyShown.size());
    rows.push_back({"Start-up, melvorin: spawn to scan on the wire, p50 of " + n, Ms(scan),
                    "empty QWidget: spawn to shown", Ms(base), Ratio(RatioOf(scan, base)), "< 300 ms",
                    Met(scan > 0 && scan < 300'000'000)});
    rows.push_back({"Start-up, TForm2 probe: spawn to shown, p50 of " + n, Ms(shown),
                    "empty QWidget: spawn to shown", Ms(base), Ratio(RatioOf(shown, base)), "< 300 ms",
                    Met(shown > 0 && shown < 300'000'000)});
    if (startup.failures > 0) std::printf("note: %d start-up runs got no datagram\n", startup.failures);
}

}  // namespace

// First, while this process holds no port 12345 and no window.
Benchmark StartupBenchmark() {
    return {"startup", "start-up", Stage::BeforeApplication,
            [](Context& c) { AddStartupRows(MeasureStartup(c.options), c.rows); }};
}

}  // namespace melvorin::bench
