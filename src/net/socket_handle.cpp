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

void Drain(const TDescriptor& fd) {
    std::uint64_t count = 0;
    while (fd.Valid() && ::read(fd.Get(), &count, sizeof count) > 0) {
    }
}

}  // namespace

// Holds the handle open for one call; Fd() is -1 when the socket is closed.
class TIdSocketHandle::Use {
public:
    explicit Use(TIdSocketHandle& binding) : binding_(binding), fd_(binding.BeginUse()) {}
    ~Use() {
        if (fd_ >= 0) binding_.EndUse();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    int Fd() const { return fd_; }

private:
    TIdSocketHandle& binding_;
    const int fd_;
};

TIdSocketHandle::TIdSocketHandle() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

int TIdSocketHandle::Handle() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return socket_.Get();
}

bool TIdSocketHandle::Opened() const {
    std::lock_guard<std::mutex> lock(closeLock_);
    return open_;
}

int TIdSocketHandle::BeginUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (!open_) return -1;
    ++uses_;
    return socket_.Get();
}

void TIdSocketHandle::EndUse() {
    std::lock_guard<std::mutex> lock(closeLock_);
    if (--uses_ == 0) usesEnded_.notify_all();
}

void TIdSocketHandle::AllocateSocket() {
    CloseSocket();
    const int family = IPVersion == TIdIPVersion::Id_IPv6 ? AF_INET6 : AF_INET;
    TDescriptor fd(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) RaiseErrno(errno);
    if (family == AF_INET6) {
        // Linux lets an IPv6 socket carry IPv4 traffic by default; this one
        // must not, so that it and the IPv4 socket both hold the port.
        const int only = 1;
        if (::setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0) RaiseErrno(errno);
    }
    Drain(wake_);
    std::lock_guard<std::mutex> lock(closeLock_);
    socket_ = std::move(fd);
    open_ = true;
}

void TIdSocketHandle::Bind() {
    const Use use(*this);
    const int fd = use.Fd();
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
    if (!ok) throw EIdCouldNotBindSocket();
    ReportArrivalInterface(fd, bound.ss_family == AF_INET6);
    const auto* boundAddress = reinterpret_cast<const sockaddr*>(&bound);
    IP = TIdStack::AddressText(boundAddress);
    Port = TIdStack::AddressPort(boundAddress);
    IPVersion = bound.ss_family == AF_INET6 ? TIdIPVersion::Id_IPv6 : TIdIPVersion::Id_IPv4;
}

void TIdSocketHandle::SetBroadcast(bool enabled) {
    const Use use(*this);
    if (use.Fd() < 0) RaiseSocketError(kWSAENOTSOCK);
    const int value = enabled ? 1 : 0;
    if (::setsockopt(use.Fd(), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) RaiseErrno(errno);
}

void TIdSocketHandle::CloseSocket() {
    std::unique_lock<std::mutex> lock(closeLock_);
    if (!open_) return;
    open_ = false;
    // Wake a listener waiting on the socket, then close only once nobody
    // uses the handle any more.
    Wake();
    usesEnded_.wait(lock, [this] { return uses_ == 0; });
    ::shutdown(socket_.Get(), SHUT_WR);
    socket_.Reset();
}

std::size_t TIdSocketHandle::SendTo(const std::uint8_t address[4], std::uint16_t port, const TIdBytes& data) {
    return SendToOn(0, address, port, data);
}

std::size_t TIdSocketHandle::SendToOn(unsigned interfaceIndex, const std::uint8_t address[4], std::uint16_t port,
                                      const TIdBytes& data) {
    const Use use(*this);
    if (use.Fd() < 0) RaiseSocketError(kWSAENOTSOCK);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, address, 4);
    iovec part{const_cast<std::uint8_t*>(data.data()), data.size()};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (interfaceIndex != 0) {
        // The interface goes with the datagram (IP_PKTINFO); the source
        // address is left to the kernel, the source port is the socket's.
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(interfaceIndex);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    const ssize_t sent = ::sendmsg(use.Fd(), &message, 0);
    if (sent < 0) {
        const int number = WSAErrorFromErrno(errno);
        if (number == kWSAEMSGSIZE) throw EIdPackageSizeTooBig();
        RaiseSocketError(number);
    }
    return static_cast<std::size_t>(sent);
}

bool TIdSocketHandle::Readable(int timeoutMs) {
    const Use use(*this);
    if (use.Fd() < 0) RaiseSocketError(kWSAENOTSOCK);
    pollfd fds[2] = {{use.Fd(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
    const int ready = ::poll(fds, wake_.Valid() ? 2 : 1, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR) return false;  // a signal is no failure of the wait
        RaiseErrno(errno);
    }
    if (wake_.Valid() && (fds[1].revents & POLLIN) != 0) {
        Drain(wake_);
        return false;
    }
    if ((fds[0].revents & POLLNVAL) != 0) RaiseSocketError(kWSAENOTSOCK);
    return (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

void TIdSocketHandle::Wake() {
    if (!wake_.Valid()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

bool TIdSocketHandle::ReceiveFrom(TIdBytes& buffer, std::string& peerIP, std::uint16_t& peerPort,
                                  unsigned* arrivalInterface) {
    const Use use(*this);
    if (use.Fd() < 0) RaiseSocketError(kWSAENOTSOCK);
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
    const ssize_t received = ::recvmsg(use.Fd(), &message, MSG_TRUNC | MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
        RaiseErrno(errno);
    }
    if (static_cast<std::size_t>(received) > buffer.size()) RaiseSocketError(kWSAEMSGSIZE);
    buffer.resize(static_cast<std::size_t>(received));
    peerIP = TIdStack::AddressText(reinterpret_cast<const sockaddr*>(&from));
    peerPort = TIdStack::AddressPort(reinterpret_cast<const sockaddr*>(&from));
    if (arrivalInterface != nullptr) *arrivalInterface = ArrivalInterface(message);
    return true;
}

TIdSocketHandle& TIdSocketHandles::Add() {
    items_.push_back(std::make_shared<TIdSocketHandle>());
    items_.back()->Port = DefaultPort;
    return *items_.back();
}

}  // namespace melvorin::net
