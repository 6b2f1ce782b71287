#include "net/socket_handle.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/errors.h"
#include "net/stack.h"

namespace melvorin::net {

namespace {

[[noreturn]] void RaiseErrno(int err) {
    RaiseSocketError(WSAErrorFromErrno(err));
}

// Asks the kernel to say, with every datagram, which interface it arrived on.
// Where it cannot, the arrival interface stays unknown.
void ReportArrivalInterface(int fd, bool v6) {
    const int on = 1;
    [[maybe_unused]] const int result = v6 ? ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on)
                                           : ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
}

unsigned ArrivalInterface(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            return static_cast<unsigned>(info.ipi_ifindex);
        }
        if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            return info.ipi6_ifindex;
        }
    }
    return 0;
}

void Drain(int fd) {
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) > 0) {
    }
}

}  // namespace

TIdSocketHandle::TIdSocketHandle() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

int TIdSocketHandle::Handle() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return handle_;
}

bool TIdSocketHandle::Opened() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return open_;
}

int TIdSocketHandle::BeginUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (!open_) return -1;
    ++uses_;
    return handle_;
}

void TIdSocketHandle::EndUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (--uses_ == 0) usesEnded_.notify_all();
}

void TIdSocketHandle::AllocateSocket() {
    CloseSocket();
    const int family = IPVersion == TIdIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) RaiseErrno(errno);
    if (family == AF_INET6) {
        // Linux lets an IPv6 socket carry IPv4 traffic by default; this one
        // must not, so that it and the IPv4 socket both hold the port.
        const int only = 1;
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0) {
            const int err = errno;
            ::close(fd);
            RaiseErrno(err);
        }
    }
    if (wakeFd_ >= 0) Drain(wakeFd_);
    std::lock_guard<std::mutex> lock(closeLock_);
    handle_ = fd;
    open_ = true;
}

void TIdSocketHandle::Bind() {
    const int fd = BeginUse();
    if (fd < 0) throw EIdCouldNotBindSocket();
    sockaddr_storage address{};
    socklen_t length = 0;
    bool ok = true;
    if (IPVersion == TIdIPVersion::Id_IPv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(Port);
        v6->sin6_flowinfo = 0;
        v6->sin6_scope_id = 0;
        if (!IP.empty()) ok = ::inet_pton(AF_INET6, IP.c_str(), &v6->sin6_addr) == 1;
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(Port);
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        if (!IP.empty()) ok = ::inet_pton(AF_INET, IP.c_str(), &v4->sin_addr) == 1;
        length = sizeof(sockaddr_in);
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ok = ok && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
         ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0;
    if (ok) ReportArrivalInterface(fd, bound.ss_family == AF_INET6);
    EndUse();
    if (!ok) throw EIdCouldNotBindSocket();
    const auto* boundAddress = reinterpret_cast<const sockaddr*>(&bound);
    IP = TIdStack::AddressText(boundAddress);
    Port = TIdStack::AddressPort(boundAddress);
    IPVersion = bound.ss_family == AF_INET6 ? TIdIPVersion::Id_IPv6 : TIdIPVersion::Id_IPv4;
}

void TIdSocketHandle::SetBroadcast(bool enabled) {
    const int fd = BeginUse();
    if (fd < 0) RaiseSocketError(10038);
    const int value = enabled ? 1 : 0;
    const int result = ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value);
    const int err = errno;
    EndUse();
    if (result != 0) RaiseErrno(err);
}

void TIdSocketHandle::CloseSocket() {
    std::unique_lock<std::mutex> lock(closeLock_);
    if (!open_) return;
    open_ = false;
    // Wake a listener waiting on the socket, then close only once nobody
    // uses the handle any more.
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    usesEnded_.wait(lock, [this] { return uses_ == 0; });
    ::shutdown(handle_, SHUT_WR);
    ::close(handle_);
    handle_ = -1;
}

std::size_t TIdSocketHandle::SendTo(const std::uint8_t address[4], std::uint16_t port, const TIdBytes& data) {
    const int fd = BeginUse();
    if (fd < 0) RaiseSocketError(10038);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, address, 4);
    const ssize_t sent = ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const int err = errno;
    EndUse();
    if (sent < 0) {
        const int number = WSAErrorFromErrno(err);
        if (number == 10040) throw EIdPackageSizeTooBig();
        RaiseSocketError(number);
    }
    return static_cast<std::size_t>(sent);
}

std::size_t TIdSocketHandle::SendToOn(unsigned interfaceIndex, const std::uint8_t address[4], std::uint16_t port,
                                      const TIdBytes& data) {
    if (interfaceIndex == 0) return SendTo(address, port, data);
    const int fd = BeginUse();
    if (fd < 0) RaiseSocketError(10038);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, address, 4);
    // The interface goes with the datagram (IP_PKTINFO); the source address
    // is left to the kernel, the source port is the socket's.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec part{const_cast<std::uint8_t*>(data.data()), data.size()};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(interfaceIndex);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    const ssize_t sent = ::sendmsg(fd, &message, 0);
    const int err = errno;
    EndUse();
    if (sent < 0) {
        const int number = WSAErrorFromErrno(err);
        if (number == 10040) throw EIdPackageSizeTooBig();
        RaiseSocketError(number);
    }
    return static_cast<std::size_t>(sent);
}

bool TIdSocketHandle::Readable(int timeoutMs) {
    const int fd = BeginUse();
    if (fd < 0) RaiseSocketError(10038);
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, wakeFd_ >= 0 ? 2 : 1, timeoutMs);
    const int err = errno;
    EndUse();
    if (ready < 0) {
        if (err == EINTR) return false;  // a signal is no failure of the wait
        RaiseErrno(err);
    }
    if (wakeFd_ >= 0 && (fds[1].revents & POLLIN) != 0) {
        Drain(wakeFd_);
        return false;
    }
    if ((fds[0].revents & POLLNVAL) != 0) RaiseSocketError(10038);
    return (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

void TIdSocketHandle::Wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

bool TIdSocketHandle::ReceiveFrom(TIdBytes& buffer, std::string& peerIP, std::uint16_t& peerPort,
                                  unsigned* arrivalInterface) {
    const int fd = BeginUse();
    if (fd < 0) RaiseSocketError(10038);
    sockaddr_storage from{};
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo)) + CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC makes Linux report the datagram's real length, so a datagram
    // longer than the buffer is noticed instead of arriving cut short.
    // MSG_DONTWAIT: a datagram that poll() announced may have been dropped
    // meanwhile (bad checksum); the listener must not block here.
    const ssize_t received = ::recvmsg(fd, &message, MSG_TRUNC | MSG_DONTWAIT);
    const int err = errno;
    EndUse();
    if (received < 0) {
        if (err == EAGAIN || err == EWOULDBLOCK) return false;
        RaiseErrno(err);
    }
    if (static_cast<std::size_t>(received) > buffer.size()) RaiseSocketError(10040);
    buffer.resize(static_cast<std::size_t>(received));
    peerIP = TIdStack::AddressText(reinterpret_cast<const sockaddr*>(&from));
    peerPort = TIdStack::AddressPort(reinterpret_cast<const sockaddr*>(&from));
    if (arrivalInterface != nullptr) *arrivalInterface = ArrivalInterface(message);
    return true;
}

TIdSocketHandle& TIdSocketHandles::Add() {
    items_.push_back(std::make_unique<TIdSocketHandle>());
    items_.back()->Port = DefaultPort;
    return *items_.back();
}

}  // namespace melvorin::net
