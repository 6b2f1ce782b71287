// Idle: wake-ups per second of each idle listener of an active endpoint,
// against one per wait period (one per second).

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "bench.h"
#include "net/listener.h"
#include "net/handover.h"
#include "net/udp_server.h"

namespace melvorin::bench {

namespace {

// Thread ids of this process whose name starts with `prefix`.
std::vector<std::string> ThreadsNamed(const std::string& prefix) {
    std::vector<std::string> tids;
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) return tids;
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string comm = ReadFile(std::string("/proc/self/task/") + e->d_name + "/comm");
        if (comm.rfind(prefix, 0) == 0) tids.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(tids.begin(), tids.end());
    return tids;
}

long VoluntarySwitches(const std::string& tid) {
    const std::string status = ReadFile("/proc/self/task/" + tid + "/status");
    const std::string key = "voluntary_ctxt_switches:";
    const std::size_t at = status.find("\n" + key);
    if (at == std::string::npos) return -1;
    return std::strtol(status.c_str() + at + 1 + key.size(), nullptr, 10);
}

struct IdleResult {
    int listeners = 0;
    // Per listener: voluntary switches per second between its first and its
    // last observed wake-up, and the switches over the whole window.
    std::vector<double> rates;
    std::vector<long> switches;
    double window = 0;
};

IdleResult MeasureIdle(double seconds) {
    IdleResult result;
    net::THandOver handOver;
    auto server = ActiveEndpoint(handOver);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string prefix = net::TIdUDPListenerThread::SystemThreadName("idpsrvr1 Listener #1");
    const std::vector<std::string> tids = ThreadsNamed(prefix.substr(0, prefix.size() - 1));
    result.listeners = static_cast<int>(tids.size());
    struct Watch {
        long start = 0, last = 0, firstWake = -1, lastWake = -1;
        std::int64_t firstWakeNs = 0, lastWakeNs = 0;
    };
    std::vector<Watch> watches(tids.size());
    for (std::size_t i = 0; i < tids.size(); ++i) watches[i].start = watches[i].last = VoluntarySwitches(tids[i]);
    const std::int64_t t0 = NowNs();
    const auto end = t0 + static_cast<std::int64_t>(seconds * 1e9);
    // Sampled every 2 ms: a change of the count is a wake-up.
    while (NowNs() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::int64_t now = NowNs();
        for (std::size_t i = 0; i < tids.size(); ++i) {
            const long v = VoluntarySwitches(tids[i]);
            Watch& w = watches[i];
            if (v != w.last) {
                if (w.firstWake < 0) {
                    w.firstWake = v;
                    w.firstWakeNs = now;
                }
                w.lastWake = v;
                w.lastWakeNs = now;
                w.last = v;
            }
        }
    }
    result.window = static_cast<double>(NowNs() - t0) / 1e9;
    for (const Watch& w : watches) {
        result.switches.push_back(w.last - w.start);
        if (w.lastWakeNs > w.firstWakeNs) {
            result.rates.push_back(static_cast<double>(w.lastWake - w.firstWake) * 1e9 /
                                   static_cast<double>(w.lastWakeNs - w.firstWakeNs));
        } else {
            // One wake-up or none in the whole window.
            result.rates.push_back(static_cast<double>(w.last - w.start) / result.window);
        }
    }
    return result;
}

void Measure(Context& c) {
    const IdleResult idle = MeasureIdle(c.options.Pick(3.2, 2.2));
    double worst = 0;
    long most = 0;
    for (std::size_t i = 0; i < idle.rates.size(); ++i) {
        worst = std::max(worst, idle.rates[i]);
        most = std::max(most, idle.switches[i]);
    }
    // 2% for the 2 ms sampling of the wake-ups' times.
    c.rows.push_back({"Idle wake-ups per listener (" + std::to_string(idle.listeners) + " listeners, " +
                          std::to_string(most) + Format(" in %.1f s at most)", idle.window),
                      Format("%.3f/s", worst), "one per wait period", "1.000/s", Format("%.3f", worst), "≤ 1/s",
                      Met(idle.listeners > 0 && worst <= 1.02)});
}

}  // namespace

Benchmark IdleBenchmark() { return {"idle", "idle wake-ups", Stage::AfterWindow, Measure}; }

}  // namespace melvorin::bench
