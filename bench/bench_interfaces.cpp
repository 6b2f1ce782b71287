// Scan send: one limited broadcast of the scan request through the endpoint,
// which sends it out of every broadcast interface, on a host with 1, 4 and 16
// of them, against one plain sendto of the same datagram by the route in the
// same namespace. Each host is a fresh network namespace of this thread, its
// interfaces veth links (the peers up, without an address) and the default
// route on the first.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bench.h"
#include "net/handover.h"
#include "net/udp_server.h"
#include "netns_links.h"
#include "protocol/scan.h"

namespace melvorin::bench {

namespace {

// Median time of `sends` calls of `send`, after a few to warm up.
template <typename F>
std::int64_t MedianNs(int sends, F&& send) {
    for (int i = 0; i < 20; ++i) send();
    std::vector<std::int64_t> times;
    times.reserve(static_cast<std::size_t>(sends));
    for (int i = 0; i < sends; ++i) {
        const std::int64_t t0 = NowNs();
        send();
        times.push_back(NowNs() - t0);
    }
    return Quantile(times, 0.5);
}

void MeasureHost(Context& c, int interfaces) {
    testing::ScopedNetns host;
    if (!host.Problem().empty()) throw std::runtime_error("scan send: " + host.Problem());
    for (int i = 0; i < interfaces; ++i) {
        const std::string name = "mlvq" + std::to_string(i);
        if (!testing::AddBroadcastLink(name, "10.202." + std::to_string(i) + ".1")) {
            throw std::runtime_error("scan send: cannot make link " + name);
        }
    }
    if (!testing::Ip("route add default dev mlvq0")) throw std::runtime_error("scan send: no default route");

    const TIdBytes scan = BuildScanRequest();
    const int sends = c.options.Pick(3000, 300);

    // Baseline: one sendto by the route, as a scan went before.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDefaultSearchPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    bool plainOk = true;
    const std::int64_t plain = MedianNs(sends, [&] {
        plainOk = plainOk && ::sendto(fd, scan.data(), scan.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                      sizeof to) == static_cast<ssize_t>(scan.size());
    });
    ::close(fd);

    std::int64_t endpoint = 0;
    std::size_t wentOut = 0;
    {
        net::THandOver handOver;
        const auto server = ActiveEndpoint(handOver);
        endpoint = MedianNs(sends, [&] { server->SendDatagram("255.255.255.255", kDefaultSearchPort, scan); });
        wentOut = server->LastSendInterfaces().size();
    }
    if (!plainOk || wentOut != static_cast<std::size_t>(interfaces)) {
        throw std::runtime_error("scan send: went out of " + std::to_string(wentOut) + " of " +
                                 std::to_string(interfaces) + " interfaces");
    }
    c.rows.push_back({"Scan send, " + std::to_string(interfaces) + " broadcast interface" +
                          (interfaces == 1 ? "" : "s") + " (median of " + std::to_string(sends) + ")",
                      Us(endpoint), "plain sendto", Us(plain), Ratio(RatioOf(endpoint, plain)), "< 1 ms",
                      Met(endpoint < 1'000'000)});
}

void Measure(Context& c) {
    for (const int interfaces : {1, 4, 16}) MeasureHost(c, interfaces);
}

}  // namespace

Benchmark ScanSendBenchmark() { return {"scansend", "scan send on 1, 4 and 16 interfaces", Stage::BeforeApplication, Measure}; }

}  // namespace melvorin::bench
