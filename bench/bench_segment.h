#pragma once

// A segment of simulated devices for the command line's benchmarks, played
// in the benchmark's own process so that the moment of every request and
// reply is known: one socket per device on 127.0.1.d:1902 answers as
// melvorin-devsim would (list reply, join result), and one more on
// 0.0.0.0:1902 receives the broadcast requests (all with SO_REUSEADDR).
// Every device answers each request at once, in one burst. The sockets live
// in the network namespace of the thread that makes the segment.

#include <netinet/in.h>

#include <cstdint>
#include <cstddef>
#include <vector>

#include "devsim/device.h"
#include "protocol/bytes.h"

namespace melvorin::bench {

class Segment {
public:
    // Devices at `firstAddress` (host order) and the addresses after it.
    explicit Segment(int devices, std::uint32_t firstAddress = 0x7F000101u);
    ~Segment();
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    // Waits up to timeoutMs for a scan or join request; every device
    // answers it to its sender.
    void Serve(int timeoutMs);
    // Every device answers `request` to `to` at once; the replies sent.
    int Answer(const TIdBytes& request, const sockaddr_in& to);

    // Waits up to timeoutMs for the next request of any kind and drops it;
    // its arrival, or 0.
    std::int64_t NextRequest(int timeoutMs);
    void Drain();

    // Device d's socket (for a reply sent by hand).
    int DeviceSocket(int d) const { return devices_.at(static_cast<std::size_t>(d)); }

    // How many devices answer (the first ones); the others are "off".
    int present = 1 << 30;
    std::vector<std::int64_t> firstListNs;    // per device: its first list reply sent
    std::vector<std::int64_t> joinRequestsNs;  // every join request served

    std::int64_t firstRequestNs = 0;  // first scan request served
    std::int64_t joinRequestNs = 0;   // first join request served
    std::int64_t lastReplyNs = 0;     // end of the last burst
    int answering = 0;                // most replies of one burst

private:
    devsim::DeviceConfig config_;
    int listener_ = -1;
    std::vector<int> devices_;
};

}  // namespace melvorin::bench
