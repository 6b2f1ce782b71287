#include "udp_peer.h"

#ifdef _WIN32
// Windows Sockets under the POSIX names used here.
using socklen_t = int;
using ssize_t = long long;
#define poll WSAPoll
#define close closesocket
#define SOCK_CLOEXEC 0
#define MSG_DONTWAIT 0
#define ioctl ioctlsocket
using ioctl_count = u_long;
#else
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
using ioctl_count = int;
#endif

namespace melvorin::testing {

namespace {

// Option values and buffers as the socket calls of both systems take them.
template <class T>
auto* Bytes(T* p) {
#ifdef _WIN32
    return reinterpret_cast<char*>(p);
#else
    return p;
#endif
}
template <class T>
auto* Bytes(const T* p) {
#ifdef _WIN32
    return reinterpret_cast<const char*>(p);
#else
    return p;
#endif
}

socklen_t Fill(sockaddr_storage& ss, int family, const std::string& address, std::uint16_t port) {
    if (family == AF_INET6) {
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

}  // namespace

UdpPeer::UdpPeer(int family) : family_(family) {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return;
#endif
    fd_ = static_cast<int>(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd_ >= 0 && family == AF_INET6) {
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, Bytes(&one), sizeof one);
    }
}

UdpPeer::~UdpPeer() { Close(); }

void UdpPeer::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool UdpPeer::Bind(const std::string& address, std::uint16_t port) {
    sockaddr_storage ss{};
    const socklen_t length = Fill(ss, family_, address, port);
    return fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&ss), length) == 0;
}

bool UdpPeer::SetBroadcast() {
    const int one = 1;
    return ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, Bytes(&one), sizeof one) == 0;
}

std::uint16_t UdpPeer::LocalPort() const {
    sockaddr_storage ss{};
    socklen_t length = sizeof ss;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &length);
    return ntohs(family_ == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                                     : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
}

bool UdpPeer::SendTo(const std::string& address, std::uint16_t port, const Octets& data) {
    sockaddr_storage ss{};
    const socklen_t length = Fill(ss, family_, address, port);
    const ssize_t sent = ::sendto(fd_, Bytes(data.data()), static_cast<int>(data.size()), 0, reinterpret_cast<sockaddr*>(&ss), length);
    return sent == static_cast<ssize_t>(data.size());
}

bool UdpPeer::SendToLoopback(const Octets& data, std::uint16_t port) {
    return SendTo(family_ == AF_INET6 ? "::1" : "127.0.0.1", port, data);
}

std::optional<Datagram> UdpPeer::Receive(int timeoutMs) {
    pollfd pfd{static_cast<decltype(pollfd::fd)>(fd_), POLLIN, 0};
    if (fd_ < 0 || ::poll(&pfd, 1, timeoutMs) != 1) return std::nullopt;
    Datagram d;
    d.data.resize(70000);
    sockaddr_storage ss{};
    socklen_t length = sizeof ss;
    const ssize_t n =
        ::recvfrom(fd_, Bytes(d.data.data()), static_cast<int>(d.data.size()), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&ss), &length);
    if (n < 0) return std::nullopt;
    d.data.resize(static_cast<std::size_t>(n));
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        d.fromPort = ntohs(v6->sin6_port);
    } else {
        const auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        d.fromPort = ntohs(v4->sin_port);
    }
    d.fromIP = text;
    return d;
}

void UdpPeer::Drain() {
    while (Receive(0)) {
    }
}

bool PortFree(std::uint16_t port, int family) {
    UdpPeer probe(family);
    return probe.Bind("", port);
}

bool IPv6OnLoopback() {
    UdpPeer probe(AF_INET6);
    return probe.Bind("::1", 0);
}

int SocketIntOption(int fd, int level, int option) {
    // Zero first: Wine writes a one-byte value for some options.
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, level, option, Bytes(&value), &length) != 0) return -1;
    return value;
}

int PendingBytes(int fd) {
    ioctl_count available = 0;
    if (::ioctl(fd, FIONREAD, &available) != 0) return -1;
    return static_cast<int>(available);
}

}  // namespace melvorin::testing
