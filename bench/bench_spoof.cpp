// Bench mode against replies spoofed from ever new addresses: melvorin-cli
// join --watch runs while list replies come from distinct senders
// (127.16.0.0 on, each once): a million offering nothing, then, in a second
// run, one in four offering the network, so that each of those is joined (a
// broadcast join) too. The baseline is its resident memory once its maps are
// full: after six times its cap of units and, in the second run, once it has
// printed a result for as many units as its cap (under the flood it takes in
// far fewer replies than come, so the senders alone do not tell). At the end,
// once as many units again were joined (its book of joined units turned over
// once), its memory must be no larger.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench.h"
#include "child_process.h"
#include "devsim/device.h"
#include "devsim/options.h"
#include "protocol/scan.h"

namespace melvorin::bench {

namespace {

constexpr std::uint32_t kFirstSender = 0x7F100000u;  // 127.16.0.0
constexpr int kCap = 65536;                           // units bench mode holds at most
constexpr int kMaxSenders = 15'000'000;               // up to 127.244.225.191

// The child's resident memory in KiB, from /proc; 0 when it cannot be read.
long ResidentKib(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// Sends `reply` to melvorin-cli's endpoint from the given source address,
// which is local (all of 127/8 is), through IP_PKTINFO.
void SendFrom(int fd, std::uint32_t source, const TIdBytes& reply) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kReplyPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    iovec data{const_cast<std::uint8_t*>(reply.data()), reply.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(source);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    ::sendmsg(fd, &message, 0);
}

// Waits `ms` while reading what melvorin-cli prints, so that it is never
// held up writing its results.
void Settle(testing::ChildProcess& cli, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cli.Drain();
    }
}

void MeasureSpoof(Context& c, int offeringEvery) {
    const bool joins = offeringEvery <= kCap;
    const int senders = c.options.Pick(1'000'000, 300'000);
    const int baselineAt = c.options.Pick(6 * kCap, 2 * kCap);
    // Units joined (results printed) before the baseline and by the end.
    const std::size_t baselineJoins = joins ? kCap : 0;
    const std::size_t endJoins = joins ? 2 * kCap : 0;
    const devsim::DeviceConfig offeringConfig = devsim::ParseArgs({}).config;
    const TIdBytes offers = *devsim::HandleRequest(BuildScanRequest(), offeringConfig);
    const devsim::DeviceConfig elsewhere = devsim::ParseArgs({"--network", "Other:50"}).config;
    const TIdBytes other = *devsim::HandleRequest(BuildScanRequest(), elsewhere);
    testing::ChildProcess cli(c.options.cli,
                              {"join", "--watch", "--ssid", "HomeNet", "--key-file", "-", "--retries", "0", "--timeout",
                               "0.2"},
                              testing::ChildProcess::Output::Capture, {}, std::string("12345678\n"));
    if (!cli.Started()) throw std::runtime_error("cannot start " + c.options.cli);
    Settle(cli, 500);  // its endpoint opens with its first scan
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) throw std::runtime_error("cannot open a socket");
    std::size_t joined = 0, counted = 0;  // result lines, and the output they were counted in
    const auto countJoins = [&] {
        cli.Drain();
        joined += static_cast<std::size_t>(std::count(cli.Stdout().begin() + static_cast<long>(counted),
                                                      cli.Stdout().end(), '\n'));
        counted = cli.Stdout().size();
    };
    long baseline = 0;
    int sent = 0, baselineSenders = 0;
    const auto start = std::chrono::steady_clock::now();
    for (; sent < kMaxSenders && (sent < senders || joined < endJoins || baselineSenders == 0); ++sent) {
        const bool offering = joins && sent % offeringEvery == 0;
        SendFrom(fd, kFirstSender + static_cast<std::uint32_t>(sent), offering ? offers : other);
        // In bursts, so that its receive buffer seldom overflows.
        if (sent % 500 != 499) continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        countJoins();
        if (baselineSenders == 0 && sent + 1 >= baselineAt && joined >= baselineJoins) {
            Settle(cli, 500);
            baseline = ResidentKib(cli.Pid());
            baselineSenders = sent + 1;
        }
    }
    Settle(cli, 500);
    const long end = ResidentKib(cli.Pid());
    countJoins();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    cli.Signal(SIGTERM);
    cli.WaitExit(10'000);
    const double ratio = baseline > 0 ? static_cast<double>(end) / static_cast<double>(baseline) : 0.0;
    const std::string joinedText = joins ? ", " + std::to_string(joined) + " joined" : std::string();
    c.rows.push_back({"Bench mode, memory after " + std::to_string(sent) + " spoofed senders, " +
                          (joins ? "1 in " + std::to_string(offeringEvery) : std::string("none")) + " offering" +
                          joinedText + " (" + Format("%.0f", seconds) + " s)",
                      std::to_string(end / 1024) + " MiB",
                      baselineSenders > 0 ? "after " + std::to_string(baselineSenders) + " senders" +
                                         (joins ? ", " + std::to_string(kCap) + "+ joined" : std::string())
                                   : "maps never full",
                      std::to_string(baseline / 1024) + " MiB", Ratio(ratio), "ratio ≤ 1.1",
                      Met(baseline > 0 && joined >= endJoins && ratio <= 1.1)});
}

}  // namespace

Benchmark SpoofBenchmark() {
    return {"spoof", "bench mode against a million spoofed senders", Stage::BeforeApplication, [](Context& c) {
                MeasureSpoof(c, 1 << 30);
                MeasureSpoof(c, 4);
            }};
}

}  // namespace melvorin::bench
