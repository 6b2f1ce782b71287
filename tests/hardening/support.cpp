#include "support.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace melvorin::hardening {

TIdBytes Frame(std::uint8_t command, const TIdBytes& payload) {
    TIdBytes frame = {0xFF, 0x00, static_cast<std::uint8_t>((payload.size() + 1) & 0xFF), command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) sum += frame[i];
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return frame;
}

TIdBytes ListReply(std::uint8_t count, const std::vector<std::pair<TIdBytes, std::uint8_t>>& records) {
    TIdBytes payload = {count};
    for (const auto& [ssid, strength] : records) {
        payload.insert(payload.end(), ssid.begin(), ssid.end());
        payload.push_back(0x00);
        payload.push_back(strength);
        payload.push_back(0x0D);
        payload.push_back(0x0A);
    }
    return Frame(0x81, payload);
}

TIdBytes JoinResult(std::uint8_t ssidVerdict, std::uint8_t keyVerdict) {
    return Frame(0x82, {ssidVerdict, keyVerdict});
}

TIdBytes Bytes(const std::string& text) { return TIdBytes(text.begin(), text.end()); }

namespace {

int OpenBound(std::uint16_t port, int family) {
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int rc;
    if (family == AF_INET6) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        rc = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(port);
        rc = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

UdpSocket::UdpSocket(std::uint16_t port, int family) : family_(family) {
    fd_ = OpenBound(port, family);
    bound_ = fd_ >= 0;
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

bool UdpSocket::Receive(TIdBytes& data, int timeoutMs, std::uint16_t* sourcePort) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    data.resize(65536);
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = ::recvfrom(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) return false;
    data.resize(static_cast<std::size_t>(n));
    if (sourcePort != nullptr) {
        *sourcePort = from.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&from)->sin6_port)
                                                 : ntohs(reinterpret_cast<sockaddr_in*>(&from)->sin_port);
    }
    return true;
}

void UdpSocket::Drain() {
    TIdBytes data;
    while (Receive(data, 0)) {
    }
}

bool UdpSocket::SendToLoopback(const TIdBytes& data, std::uint16_t port) {
    if (fd_ < 0) return false;
    ssize_t n;
    if (family_ == AF_INET6) {
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_addr = in6addr_loopback;
        to.sin6_port = htons(port);
        n = ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } else {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        n = ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    return n == static_cast<ssize_t>(data.size());
}

bool PortFree(std::uint16_t port, int family) {
    const int fd = OpenBound(port, family);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool IPv6Here() {
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void RecordingBoxes::ShowNotice(const QString& text) {
    ++noticeCount;
    if (notices.size() < kKeptTexts) notices << text;
    if (onNotice) onNotice(text);
}

void RecordingBoxes::ShowError(const QString& text) { errors << text; }

}  // namespace melvorin::hardening
