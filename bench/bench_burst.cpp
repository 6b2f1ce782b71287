// melvorin-cli on a bench of 10, 100 and 1000 simulated devices that answer
// each request in one burst: the share of the devices it reports after one
// scan round, and the time from the join request to its last result (the
// tool's exit, which comes as soon as every addressed device has answered).
// Each stands beside a plain receiver's figure for the same burst in the same
// run: a socket with a 4 MiB receive buffer, read in a tight loop on a thread
// of its own. For comparison, what a plain receiver with the system's
// default buffer keeps of the largest burst.

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "bench.h"
#include "bench_segment.h"
#include "child_process.h"
#include "protocol/join.h"
#include "protocol/scan.h"

namespace melvorin::bench {

namespace {

constexpr int kPlainBuffer = 4 * 1024 * 1024;
constexpr std::int64_t kJoinGoalNs = 50'000'000;

struct Burst {
    int received = 0;
    std::int64_t lastNs = 0;  // the first reply's sending to the last one read
};

// The segment answers `request` to a plain receiver on 127.0.0.1, which reads
// until it has `expected` replies or none came for 300 ms.
Burst PlainReceiver(Segment& segment, const TIdBytes& request, int expected, bool largeBuffer) {
    UdpSocket socket("127.0.0.1", kBaselinePort);
    if (largeBuffer && ::setsockopt(socket.Fd(), SOL_SOCKET, SO_RCVBUFFORCE, &kPlainBuffer, sizeof kPlainBuffer) != 0) {
        socket.SetReceiveBuffer(kPlainBuffer);
    }
    Burst burst;
    std::thread reader([&] {
        std::uint8_t buffer[8192];
        while (burst.received < expected && socket.Receive(buffer, sizeof buffer, 300) >= 0) {
            ++burst.received;
            burst.lastNs = NowNs();
        }
    });
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kBaselinePort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::int64_t start = NowNs();
    segment.Answer(request, to);
    reader.join();
    burst.lastNs = burst.received > 0 ? burst.lastNs - start : 0;
    return burst;
}

// One scan round: the tool reports what it read of one burst.
int CliScanRound(const Options& o, Segment& segment) {
    testing::ChildProcess cli(o.cli, {"scan", "--json", "--timeout", "1"});
    if (!cli.Started()) throw std::runtime_error("cannot start " + o.cli);
    const int code = cli.WaitExit(30'000, [&segment] { segment.Serve(1); });
    return code == 0 ? Count(cli.Stdout(), "{\"address\"") : 0;
}

// A join after one scan round: the join request's arrival to the tool's exit,
// and how many accepted.
std::int64_t CliJoin(const Options& o, Segment& segment, int& accepted) {
    testing::ChildProcess cli(o.cli,
                              {"join", "--ssid", "HomeNet", "--key-file", "-", "--json", "--scan-timeout", "1",
                               "--timeout", "5"},
                              testing::ChildProcess::Output::Capture, {}, std::string("12345678\n"));
    if (!cli.Started()) throw std::runtime_error("cannot start " + o.cli);
    segment.joinRequestNs = 0;
    cli.WaitExit(30'000, [&segment] { segment.Serve(1); });
    const std::int64_t exited = NowNs();
    accepted = Count(cli.Stdout(), "\"verdict\": \"accepted\"");
    return segment.joinRequestNs > 0 ? exited - segment.joinRequestNs : 0;
}

void Measure(Context& c) {
    const Options& o = c.options;
    const int runs = o.Pick(3, 1);
    const TIdBytes scan = BuildScanRequest();
    const TIdBytes join = BuildJoinRequest(TIdBytes{'H', 'o', 'm', 'e', 'N', 'e', 't'}, TIdBytes(8, '1'));
    for (const int devices : {10, 100, 1000}) {
        Segment segment(devices);
        int reported = 0, plainReported = 0, accepted = 0;
        std::int64_t worstJoin = 0, worstPlainJoin = 0;
        for (int i = 0; i < runs; ++i) {
            reported += CliScanRound(o, segment);
            plainReported += PlainReceiver(segment, scan, devices, true).received;
            int joined = 0;
            worstJoin = std::max(worstJoin, CliJoin(o, segment, joined));
            accepted += joined;
            worstPlainJoin = std::max(worstPlainJoin, PlainReceiver(segment, join, devices, true).lastNs);
        }
        const std::string n = std::to_string(devices);
        const double total = static_cast<double>(devices * runs);
        const double share = reported / total;
        const double plainShare = plainReported / total;
        c.rows.push_back({"Burst of " + n + " devices: share reported after one scan round, " + std::to_string(runs) +
                              " runs",
                          Format("%.3f", share), "plain receiver, 4 MiB buffer", Format("%.3f", plainShare),
                          Ratio(plainShare > 0 ? share / plainShare : 0.0), "1.0",
                          Met(reported == plainReported && reported == devices * runs)});
        c.rows.push_back({"Burst of " + n + " devices: join request to last result, worst of " + std::to_string(runs) +
                              " (" + std::to_string(accepted) + " accepted)",
                          Ms(worstJoin), "plain receiver: burst to last read", Ms(worstPlainJoin),
                          Ratio(RatioOf(worstJoin, worstPlainJoin)), "≤ plain + 50 ms",
                          Met(accepted == devices * runs && worstJoin <= worstPlainJoin + kJoinGoalNs)});
        if (devices == 1000) {
            const Burst small = PlainReceiver(segment, scan, devices, false);
            c.rows.push_back({"  for comparison: plain receiver, the system's default buffer, share of 1000",
                              Format("%.3f", small.received / 1000.0), "plain receiver, 4 MiB buffer",
                              Format("%.3f", plainShare), Ratio(plainShare > 0 ? small.received / 1000.0 / plainShare : 0),
                              "-", "-"});
        }
    }
}

}  // namespace

// After the window, when port 12345 is free again.
Benchmark BurstBenchmark() {
    return {"burst", "command line on a bench of devices answering in one burst", Stage::AfterWindow, Measure};
}

}  // namespace melvorin::bench
