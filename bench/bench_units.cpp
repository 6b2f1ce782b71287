// Units with hardware addresses, on a link of their own: the station (a fresh
// network namespace of this thread) reaches the devices through a veth link
// whose other end is in a second namespace, where the segment's sockets
// answer from one address each (10.203.1.1 on). The station's neighbour
// table holds each unit's hardware address (static entries: a mix of
// registered MA-L and MA-S prefixes, unknown ones and locally administered
// ones), so melvorin-cli reads them and looks up the makers as on a real
// bench.
//
// - units: a scan of 1000 units with the neighbour table full, against the
//   same scan with it empty (one reading of an empty table, no maker loaded):
//   spawn to exit, and the time-out's end to exit.
// - watch: bench mode (join --watch); units come one at a time, and each one's
//   first list reply is timed on the wire to the join request it gets. Beside
//   it, a plain responder thread on the station answering the same list
//   reply at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "bench_segment.h"
#include "child_process.h"
#include "devsim/device.h"
#include "devsim/options.h"
#include "netns_links.h"
#include "protocol/join.h"
#include "protocol/scan.h"

namespace melvorin::bench {

namespace {

using devsim::DottedAddress;

constexpr std::uint32_t kStation = 0x0ACB0001u;    // 10.203.0.1
constexpr std::uint32_t kFirstUnit = 0x0ACB0101u;  // 10.203.1.1

// Unit i's hardware address: Espressif's MA-L, an MA-S block, another
// MA-L (Xerox's), a locally administered one, in turn.
std::string HardwareOf(int i) {
    const unsigned x = static_cast<unsigned>(i);
    char text[18] = {};
    switch (i % 4) {
        case 0: std::snprintf(text, sizeof text, "24:6f:28:00:%02x:%02x", x >> 8 & 0xFF, x & 0xFF); break;
        case 1: std::snprintf(text, sizeof text, "70:b3:d5:f2:f%x:%02x", x >> 8 & 0xF, x & 0xFF); break;
        case 2: std::snprintf(text, sizeof text, "00:00:01:00:%02x:%02x", x >> 8 & 0xFF, x & 0xFF); break;
        default: std::snprintf(text, sizeof text, "02:00:5e:00:%02x:%02x", x >> 8 & 0xFF, x & 0xFF); break;
    }
    return text;
}

void Must(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error("units: " + what);
}

// Writes `lines` to a file and runs them with `ip [-n NETNS] -batch`.
void IpBatch(const std::string& netns, const std::vector<std::string>& lines) {
    char path[] = "/tmp/mlv-bench-ip.XXXXXX";
    const int fd = ::mkstemp(path);
    Must(fd >= 0, "no temporary file");
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    const bool ran = written && testing::Ip((netns.empty() ? "" : "-n " + netns + " ") + "-batch " + path);
    ::unlink(path);
    Must(ran, "ip -batch failed");
}

// The station and its units. Make and destroy it on one thread, which is in
// the station's namespace meanwhile.
class Bench {
public:
    explicit Bench(int units) : units_(units), devices_("mlvb-units-" + std::to_string(::getpid())) {
        Must(station_.Problem().empty(), station_.Problem());
        Must(testing::Ip("netns add " + devices_), "ip netns add failed");
        made_ = true;
        Must(testing::Ip("link add mlvbs type veth peer name mlvbd netns " + devices_) &&
                 testing::Ip("addr add " + DottedAddress(kStation) + "/16 dev mlvbs") && testing::Ip("link set mlvbs up") &&
                 testing::Ip("-n " + devices_ + " link set lo up") &&
                 testing::Ip("-n " + devices_ + " link set mlvbd up"),
             "cannot make the link");
        std::vector<std::string> addresses;
        for (int i = 0; i < units; ++i) {
            addresses.push_back("addr add " + DottedAddress(kFirstUnit + static_cast<std::uint32_t>(i)) + "/16 dev mlvbd");
        }
        IpBatch(devices_, addresses);
        testing::ScopedNetns there(devices_);
        Must(there.Problem().empty(), there.Problem());
        segment_.emplace(units, kFirstUnit);
    }
    ~Bench() {
        segment_.reset();
        if (made_) testing::Ip("netns del " + devices_);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    Segment& Units() { return *segment_; }

    void FillNeighbours() {
        std::vector<std::string> entries;
        for (int i = 0; i < units_; ++i) {
            entries.push_back("neigh replace " + DottedAddress(kFirstUnit + static_cast<std::uint32_t>(i)) + " lladdr " +
                              HardwareOf(i) + " dev mlvbs nud permanent");
        }
        IpBatch("", entries);
    }
    // Learnt entries too (the devices' ARP request for the station).
    void EmptyNeighbours() {
        Must(testing::Ip("neigh flush dev mlvbs nud permanent"), "cannot flush the neighbour table");
        testing::Ip("neigh flush dev mlvbs");
    }

private:
    int units_;
    testing::ScopedNetns station_;
    std::string devices_;
    bool made_ = false;
    std::optional<Segment> segment_;
};

// ---- units: the scan ----------------------------------------------------------

struct Scan {
    std::int64_t spawnToExit = 0;
    std::int64_t endToExit = 0;  // the time-out's end (first request + time-out) to the exit
    int reported = 0, withMac = 0, withVendor = 0;
};

constexpr double kScanSeconds = 1.0;

Scan RunScan(const Options& o, Segment& segment) {
    segment.Drain();
    segment.firstRequestNs = 0;
    const std::int64_t t0 = NowNs();
    testing::ChildProcess cli(o.cli, {"scan", "--json", "--timeout", Format("%.3f", kScanSeconds)});
    Must(cli.Started(), "cannot start " + o.cli);
    const int code = cli.WaitExit(30'000, [&segment] { segment.Serve(1); });
    const std::int64_t exited = NowNs();
    Scan s;
    s.spawnToExit = exited - t0;
    s.endToExit = exited - segment.firstRequestNs - static_cast<std::int64_t>(kScanSeconds * 1e9);
    if (code != 0) return s;
    s.reported = Count(cli.Stdout(), "{\"address\"");
    s.withMac = Count(cli.Stdout(), "\"mac\": \"");
    s.withVendor = Count(cli.Stdout(), "\"vendor\": \"");
    return s;
}

std::string Triple(const Scan& s) {
    return std::to_string(s.reported) + " / " + std::to_string(s.withMac) + " / " + std::to_string(s.withVendor);
}

void MeasureScan(Context& c) {
    const int units = 1000;
    Bench bench(units);
    std::vector<std::int64_t> full, empty, fullEnd, emptyEnd;
    Scan lastFull, lastEmpty;
    bool allReported = true;
    // In turns, so that both see the same load; one unmeasured scan first.
    for (int i = 0; i <= c.options.Pick(3, 1); ++i) {
        bench.FillNeighbours();
        const Scan f = RunScan(c.options, bench.Units());
        bench.EmptyNeighbours();
        const Scan e = RunScan(c.options, bench.Units());
        if (i == 0) continue;
        full.push_back(f.spawnToExit);
        fullEnd.push_back(f.endToExit);
        empty.push_back(e.spawnToExit);
        emptyEnd.push_back(e.endToExit);
        allReported = allReported && f.reported == units && e.reported == units && f.withMac == units;
        lastFull = f;
        lastEmpty = e;
    }
    const std::int64_t f50 = Quantile(full, 0.5), e50 = Quantile(empty, 0.5);
    const double ratio = RatioOf(f50, e50);
    const std::string n = std::to_string(full.size());
    c.rows.push_back({"1000 units: scan with hardware addresses and makers, spawn to exit, p50 of " + n, Ms(f50),
                      "same scan, neighbour table empty", Ms(e50), Ratio(ratio), "ratio ≤ 1.1",
                      Met(allReported && ratio <= 1.1)});
    const std::int64_t fe = Quantile(fullEnd, 0.5), ee = Quantile(emptyEnd, 0.5);
    c.rows.push_back({"  of which: time-out's end to exit, p50", Ms(fe), "same, neighbour table empty", Ms(ee),
                      Ratio(RatioOf(fe, ee)), "-", "-"});
    c.rows.push_back({"  units reported / with hardware address / with maker (last run)",
                      Triple(lastFull),
                      "same, neighbour table empty",
                      Triple(lastEmpty), "-", "-",
                      "-"});
}

// ---- watch: bench mode --------------------------------------------------------

constexpr std::int64_t kWatchGoalNs = 50'000'000;
constexpr std::int64_t kApartNs = 1'500'000'000;  // between one unit's coming and the next's

// Each unit's first list reply to the first join request after it.
std::vector<std::int64_t> Latencies(const Segment& segment, int units) {
    std::vector<std::int64_t> out;
    for (int u = 0; u < units; ++u) {
        const std::int64_t listed = segment.firstListNs[static_cast<std::size_t>(u)];
        if (listed == 0) continue;
        for (const std::int64_t join : segment.joinRequestsNs) {
            if (join >= listed) {
                out.push_back(join - listed);
                break;
            }
        }
    }
    return out;
}

// A plain responder thread on the station: reads each list reply and sends
// a join request back at once. Device 0's socket sends and receives; the
// first round (the station's ARP request for it) is not counted.
std::vector<std::int64_t> PlainRoundTrips(Segment& segment, int rounds) {
    UdpSocket responder(DottedAddress(kStation).c_str(), kBaselinePort);
    const TIdBytes reply = *devsim::HandleRequest(BuildScanRequest(), devsim::ParseArgs({}).config);
    const TIdBytes join = BuildJoinRequest(TIdBytes{'H', 'o', 'm', 'e', 'N', 'e', 't'}, TIdBytes(8, '1'));
    std::thread thread([&] {
        std::uint8_t buffer[8192];
        sockaddr_in from{};
        for (int i = 0; i <= rounds; ++i) {
            socklen_t length = sizeof from;
            if (::recvfrom(responder.Fd(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) {
                return;
            }
            ::sendto(responder.Fd(), join.data(), join.size(), 0, reinterpret_cast<const sockaddr*>(&from), length);
        }
    });
    const int device = segment.DeviceSocket(0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kBaselinePort);
    to.sin_addr.s_addr = htonl(kStation);
    std::vector<std::int64_t> times;
    for (int i = 0; i <= rounds; ++i) {
        ::usleep(5000);  // the responder at rest, as the tool is when a unit comes
        const std::int64_t t0 = NowNs();
        ::sendto(device, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        pollfd p{device, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1) break;
        if (i > 0) times.push_back(NowNs() - t0);
        std::uint8_t buffer[512];
        ::recv(device, buffer, sizeof buffer, MSG_DONTWAIT);
    }
    ::shutdown(responder.Fd(), SHUT_RDWR);
    thread.join();
    return times;
}

void MeasureWatch(Context& c) {
    const int units = c.options.Pick(5, 2);
    Bench bench(units);
    bench.FillNeighbours();
    Segment& segment = bench.Units();
    segment.present = 0;
    testing::ChildProcess cli(c.options.cli, {"join", "--watch", "--ssid", "HomeNet", "--key-file", "-", "--json"},
                              testing::ChildProcess::Output::Capture, {}, std::string("12345678\n"));
    Must(cli.Started(), "cannot start melvorin-cli");
    const std::int64_t start = NowNs();
    std::int64_t stopAt = 0;
    const int code = cli.WaitExit(60'000, [&] {
        segment.Serve(1);
        const std::int64_t now = NowNs();
        const int due = static_cast<int>(std::min<std::int64_t>(units, (now - start) / kApartNs));
        segment.present = std::max(segment.present, due);
        if (stopAt == 0 && static_cast<int>(Latencies(segment, units).size()) == units) stopAt = now + 500'000'000;
        if (stopAt != 0 && now >= stopAt) {
            cli.Signal(SIGTERM);
            stopAt = INT64_MAX;
        }
    });
    std::vector<std::int64_t> latencies = Latencies(segment, units);
    const int accepted = Count(cli.Stdout(), "\"verdict\": \"accepted\"");
    const std::int64_t first = latencies.empty() ? 0 : latencies.front();
    // The station's own answers must reach the device: its real hardware
    // address, not the table's.
    bench.EmptyNeighbours();
    const std::vector<std::int64_t> plain = PlainRoundTrips(segment, c.options.Pick(20, 5));
    const std::int64_t worst = latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
    const std::int64_t p50 = Quantile(latencies, 0.5), plain50 = Quantile(plain, 0.5);
    const std::int64_t plainWorst = plain.empty() ? 0 : *std::max_element(plain.begin(), plain.end());
    const bool ok = code == 0 && accepted == units && static_cast<int>(latencies.size()) == units;
    c.rows.push_back({"Bench mode: new unit's list reply to its join request, worst of " + std::to_string(units) +
                          " (" + std::to_string(accepted) + " accepted, exit " + std::to_string(code) + ")",
                      Ms(worst), "plain responder thread, worst of " + std::to_string(plain.size()), Ms(plainWorst),
                      Ratio(RatioOf(worst, plainWorst)), "< 50 ms", Met(ok && worst < kWatchGoalNs)});
    c.rows.push_back({"  p50 of the units / the first unit (makers loaded then)", Ms(p50) + " / " + Ms(first),
                      "plain responder thread, p50", Ms(plain50), Ratio(RatioOf(p50, plain50)), "-", "-"});
}

}  // namespace

Benchmark UnitsBenchmark() {
    return {"units", "1000 units with hardware addresses on a link", Stage::BeforeApplication, MeasureScan};
}
Benchmark WatchBenchmark() {
    return {"watch", "bench mode: units coming one at a time", Stage::BeforeApplication, MeasureWatch};
}

}  // namespace melvorin::bench
