// Closing: destroying an active endpoint whose listeners are idle, against
// the 1000 ms wait period of a listener.

#include <thread>

#include "bench.h"
#include "net/handover.h"
#include "net/udp_server.h"

namespace melvorin::bench {

namespace {

void Measure(Context& c) {
    std::vector<std::int64_t> times;
    const int closings = c.options.Pick(8, 3);
    net::THandOver handOver;
    for (int i = 0; i < closings; ++i) {
        auto server = ActiveEndpoint(handOver);
        // Listeners caught at different points of their 1000 ms wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(120 + (i * 373) % 900));
        const std::int64_t t0 = NowNs();
        server.reset();
        times.push_back(NowNs() - t0);
    }
    const std::int64_t worst = Quantile(times, 1.0);
    c.rows.push_back({"Closing an active endpoint, idle listeners, worst of " + std::to_string(times.size()),
                      Ms(worst), "wait period", "1000 ms", Format("%.4f", static_cast<double>(worst) / 1e9),
                      "< 20 ms", Met(!times.empty() && worst < 20'000'000)});
}

}  // namespace

Benchmark ClosingBenchmark() { return {"closing", "closing", Stage::AfterWindow, Measure}; }

}  // namespace melvorin::bench
