#include "bench_segment.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "bench.h"
#include "devsim/options.h"

namespace melvorin::bench {

namespace {

int SharedSocket(std::uint32_t address) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(kDefaultSearchPort);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot bind a device socket on port 1902");
    }
    return fd;
}

}  // namespace

Segment::Segment(int devices, std::uint32_t firstAddress)
    : firstListNs(static_cast<std::size_t>(devices), 0), config_(devsim::ParseArgs({}).config) {
    listener_ = SharedSocket(INADDR_ANY);
    for (int d = 0; d < devices; ++d) devices_.push_back(SharedSocket(firstAddress + static_cast<std::uint32_t>(d)));
}

Segment::~Segment() {
    ::close(listener_);
    for (const int fd : devices_) ::close(fd);
}

int Segment::Answer(const TIdBytes& request, const sockaddr_in& to) {
    const std::optional<TIdBytes> reply = devsim::HandleRequest(request, config_);
    if (!reply) return 0;
    const bool list = request.size() > 3 && request[3] != 0x02;
    int answered = 0;
    const std::size_t on = std::min(devices_.size(), static_cast<std::size_t>(std::max(present, 0)));
    for (std::size_t d = 0; d < on; ++d) {
        if (list && firstListNs[d] == 0) firstListNs[d] = NowNs();
        if (::sendto(devices_[d], reply->data(), reply->size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to) > 0) {
            ++answered;
        }
    }
    lastReplyNs = NowNs();
    answering = std::max(answering, answered);
    return answered;
}

void Segment::Serve(int timeoutMs) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return;
    TIdBytes request(512);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(listener_, request.data(), request.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 5) return;
    request.resize(static_cast<std::size_t>(n));
    const std::int64_t now = NowNs();
    std::int64_t& first = request[3] == 0x02 ? joinRequestNs : firstRequestNs;
    if (first == 0) first = now;
    if (request[3] == 0x02) joinRequestsNs.push_back(now);
    Answer(request, from);
}

std::int64_t Segment::NextRequest(int timeoutMs) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return 0;
    const std::int64_t now = NowNs();
    std::uint8_t buf[512];
    ::recv(listener_, buf, sizeof buf, MSG_DONTWAIT);
    return now;
}

void Segment::Drain() {
    while (NextRequest(0) != 0) {
    }
}

}  // namespace melvorin::bench
