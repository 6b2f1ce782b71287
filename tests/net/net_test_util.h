#pragma once

// Helpers of the transport tests: a plain loop standing in for the window's
// thread, and a raw UDP socket to talk to the endpoint.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/handover.h"
#include "protocol/bytes.h"

namespace melvorin::net::test {

// Runs hand-overs on this thread until `done` holds or `timeoutMs` passed.
// Returns whether `done` held.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        RunQueued();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        WaitForQueued(10);
    }
}

// Runs hand-overs for `ms` milliseconds.
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

struct Datagram {
    TIdBytes data;
    std::string fromIP;
    std::uint16_t fromPort = 0;
};

// A plain UDP socket of the test, IPv4 or IPv6 (IPv6-only).
class UdpPeer {
public:
    explicit UdpPeer(int family = AF_INET) : family_(family) {
        fd_ = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (family == AF_INET6) {
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        }
    }
    ~UdpPeer() { Close(); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int Fd() const { return fd_; }

    // Binds to `address` (empty: any) and `port`; true on success.
    bool Bind(const std::string& address, std::uint16_t port) {
        sockaddr_storage ss{};
        socklen_t length = Fill(ss, address, port);
        return ::bind(fd_, reinterpret_cast<sockaddr*>(&ss), length) == 0;
    }

    std::uint16_t LocalPort() const {
        sockaddr_storage ss{};
        socklen_t length = sizeof ss;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &length);
        return ntohs(family_ == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    }

    bool SendTo(const std::string& address, std::uint16_t port, const TIdBytes& data) {
        sockaddr_storage ss{};
        socklen_t length = Fill(ss, address, port);
        const ssize_t sent =
            ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&ss), length);
        return sent == static_cast<ssize_t>(data.size());
    }

    // Waits up to timeoutMs for one datagram.
    std::optional<Datagram> Receive(int timeoutMs) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) != 1) return std::nullopt;
        Datagram d;
        d.data.resize(70000);
        sockaddr_storage ss{};
        socklen_t length = sizeof ss;
        const ssize_t n = ::recvfrom(fd_, d.data.data(), d.data.size(), 0, reinterpret_cast<sockaddr*>(&ss), &length);
        if (n < 0) return std::nullopt;
        d.data.resize(static_cast<std::size_t>(n));
        char text[INET6_ADDRSTRLEN] = {};
        if (ss.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            d.fromPort = ntohs(v4->sin_port);
        } else {
            const auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            d.fromPort = ntohs(v6->sin6_port);
        }
        d.fromIP = text;
        return d;
    }

private:
    socklen_t Fill(sockaddr_storage& ss, const std::string& address, std::uint16_t port) const {
        if (family_ == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            if (!address.empty()) ::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr);
            return sizeof(sockaddr_in6);
        }
        auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        if (!address.empty()) ::inet_pton(AF_INET, address.c_str(), &v4->sin_addr);
        return sizeof(sockaddr_in);
    }

    int family_;
    int fd_ = -1;
};

inline int SocketIntOption(int fd, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, level, option, &value, &length) != 0) return -1;
    return value;
}

}  // namespace melvorin::net::test
