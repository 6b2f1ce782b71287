// melvorin-cli on a segment of 1, 10 and 100 simulated devices that all
// answer each scan at once: how many the tool reports of those that
// answered, and how close to its time-out's end it exits; and its start-up
// (spawn to scan request on the wire) beside the window program's.
//
// The devices are played here (bench_segment.h), not by melvorin-devsim, so
// that the moment of every reply is known.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "bench.h"
#include "bench_segment.h"
#include "child_process.h"

namespace melvorin::bench {

namespace {

constexpr double kTimeoutSeconds = 1.0;
constexpr std::int64_t kExitGoalNs = 50'000'000;

struct ScanRun {
    int reported = 0;
    int answering = 0;
    std::int64_t replyToExit = 0;  // last reply -> the tool's exit
    std::int64_t replyToEnd = 0;   // last reply -> the time-out's end
};

ScanRun RunScan(const Options& o, int devices) {
    Segment segment(devices);
    testing::ChildProcess cli(o.cli, {"scan", "--json", "--timeout", Format("%.3f", kTimeoutSeconds)});
    if (!cli.Started()) throw std::runtime_error("cannot start " + o.cli);
    // The device sockets are served between looks at the child, so its end
    // is seen within a millisecond.
    const int code = cli.WaitExit(30'000, [&segment] { segment.Serve(1); });
    const std::int64_t exited = NowNs();
    ScanRun run;
    run.reported = code == 0 ? Count(cli.Stdout(), "\"address\"") : 0;
    run.answering = segment.answering;
    const std::int64_t end = segment.firstRequestNs + static_cast<std::int64_t>(kTimeoutSeconds * 1e9);
    run.replyToExit = exited - segment.lastReplyNs;
    run.replyToEnd = end - segment.lastReplyNs;
    return run;
}

// Spawn to the first request on the wire; the child is stopped after it.
std::int64_t SpawnToScan(const std::vector<std::string>& argv, Segment& segment) {
    segment.Drain();
    const std::int64_t t0 = NowNs();
    testing::ChildProcess child(argv[0], {argv.begin() + 1, argv.end()}, testing::ChildProcess::Output::Discard);
    std::int64_t elapsed = -1;
    while (child.Started() && NowNs() - t0 < 10'000'000'000LL) {
        const std::int64_t at = segment.NextRequest(100);
        if (at != 0) {
            elapsed = at - t0;
            break;
        }
    }
    child.Signal(SIGTERM);
    child.WaitExit(30'000);
    return elapsed;
}

void Measure(Context& c) {
    const Options& o = c.options;
    const int runs = o.Pick(3, 1);
    for (const int devices : {1, 10, 100}) {
        ScanRun worst;
        std::int64_t worstLateness = INT64_MIN;
        int reported = 0, answering = 0;
        for (int i = 0; i < runs; ++i) {
            const ScanRun r = RunScan(o, devices);
            reported += r.reported;
            answering += r.answering;
            if (r.replyToExit - r.replyToEnd > worstLateness) {
                worstLateness = r.replyToExit - r.replyToEnd;
                worst = r;
            }
        }
        const std::string n = std::to_string(devices);
        const double share = answering > 0 ? static_cast<double>(reported) / answering : 0.0;
        c.rows.push_back({"CLI scan, " + n + " devices: devices reported, " + std::to_string(runs) + " runs",
                          std::to_string(reported), "devices answering", std::to_string(answering), Ratio(share),
                          "1.0", Met(reported == answering && answering == devices * runs)});
        c.rows.push_back({"CLI scan, " + n + " devices: last reply to exit, worst of " + std::to_string(runs),
                          Ms(worst.replyToExit), "last reply to time-out's end", Ms(worst.replyToEnd),
                          Ratio(RatioOf(worst.replyToExit, worst.replyToEnd)), "≤ end + 50 ms",
                          Met(worstLateness <= kExitGoalNs)});
    }

    Segment listener(0);
    std::vector<std::int64_t> cliStart, windowStart, trivial;
    for (int i = 0; i <= o.Pick(7, 2); ++i) {
        const std::int64_t t = SpawnToScan({o.cli, "scan", "--timeout", "0.2"}, listener);
        const std::int64_t w = SpawnToScan({o.melvorin}, listener);
        const std::int64_t t0 = NowNs();
        testing::ChildProcess child("/bin/true", {}, testing::ChildProcess::Output::Discard);
        child.WaitExit(10'000, [] { ::usleep(100); });
        const std::int64_t b = NowNs() - t0;
        if (i == 0) continue;  // warm-up
        if (t >= 0) cliStart.push_back(t);
        if (w >= 0) windowStart.push_back(w);
        trivial.push_back(b);
    }
    const std::int64_t cliP50 = Quantile(cliStart, 0.5);
    const std::int64_t windowP50 = Quantile(windowStart, 0.5);
    c.rows.push_back({"Start-up, melvorin-cli scan: spawn to scan on the wire, p50 of " + std::to_string(cliStart.size()),
                      Ms(cliP50), "melvorin window: spawn to scan", Ms(windowP50), Ratio(RatioOf(cliP50, windowP50)),
                      "< 5 ms", Met(cliP50 > 0 && cliP50 < 5'000'000)});
    // What any program costs to start on this machine now.
    const std::int64_t trivialP50 = Quantile(trivial, 0.5);
    c.rows.push_back({"  for comparison: /bin/true, spawn to exit, p50", Ms(trivialP50), "melvorin-cli: spawn to scan",
                      Ms(cliP50), Ratio(RatioOf(trivialP50, cliP50)), "-", "-"});
}

}  // namespace

// After the window, when port 12345 is free again.
Benchmark CliBenchmark() { return {"cli", "command line on a segment of devices", Stage::AfterWindow, Measure}; }

}  // namespace melvorin::bench
