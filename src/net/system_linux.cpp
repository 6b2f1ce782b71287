// Implements the transport's system interface on Linux: sockets with an
// eventfd that wakes a wait, IP_PKTINFO to learn a datagram's interface,
// SO_RXQ_OVFL to count the datagrams dropped, and getifaddrs to list the
// interfaces.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/sock_diag.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "net/descriptor.h"
#include "net/errors.h"
#include "net/interfaces.h"
#include "net/system.h"

namespace melvorin::net {

namespace sys {

namespace {

// "Highest" is two steps above normal; on Linux that is a nice value below
// the default, which needs CAP_SYS_NICE (or RLIMIT_NICE).
constexpr int kHighestNice = -5;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

int LastError() { return WSAErrorFromErrno(errno); }

// Returns the interface a datagram arrived on, and stores the drop count it
// came with (SO_RXQ_OVFL; `dropped` stays as it was when none came).
unsigned ArrivalInterface(msghdr& message, std::atomic<std::uint32_t>& dropped) {
    unsigned index = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::uint32_t count = 0;
            std::memcpy(&count, CMSG_DATA(c), sizeof count);
            dropped.store(count, std::memory_order_relaxed);
        }
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            index = static_cast<unsigned>(info.ipi_ifindex);
        }
        if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            index = info.ipi6_ifindex;
        }
    }
    return index;
}

// Returns the socket's receive buffer as it was asked for: Linux reports
// twice that, the other half being its own bookkeeping.
int ReceiveBuffer(int fd) {
    int size = 0;
    socklen_t length = sizeof size;
    return ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length) == 0 ? size / 2 : 0;
}

void Drain(std::intptr_t fd) {
    std::uint64_t count = 0;
    while (fd >= 0 && ::read(Fd(fd), &count, sizeof count) > 0) {
    }
}

}  // namespace

std::string StartSockets() { return {}; }

std::string RaiseReceiveBufferCap(int bytes) { return "sysctl -w net.core.rmem_max=" + std::to_string(bytes); }

bool IPv6Usable() {
    if (!TDescriptor(::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0)).Valid()) return false;
    // The sockets of a family that is switched off can still be made, but
    // carry nothing.
    std::ifstream disabled("/proc/sys/net/ipv6/conf/all/disable_ipv6");
    int value = 0;
    if (disabled >> value) return value == 0;
    return true;
}

TSocket::TSocket() : socket_(-1), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), event_(-1) {}

TSocket::~TSocket() {
    Close();
    if (wake_ >= 0) ::close(Fd(wake_));
}

bool TSocket::Valid() const { return socket_ >= 0; }

int TSocket::Number() const { return Fd(socket_); }

int TSocket::Open(bool v6) {
    Close();
    TDescriptor fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return LastError();
    if (v6) {
        // Linux lets an IPv6 socket carry IPv4 traffic by default; this one
        // must not, so that it and the IPv4 socket both hold the port.
        const int only = 1;
        if (::setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0) return LastError();
    }
    Drain(wake_);
    socket_ = fd.Release();
    return 0;
}

void TSocket::Close() {
    if (socket_ < 0) return;
    ::shutdown(Fd(socket_), SHUT_WR);
    ::close(Fd(socket_));
    socket_ = -1;
}

bool TSocket::Bind(const sockaddr* address, int length, sockaddr_storage& bound) {
    socklen_t boundLength = sizeof bound;
    if (::bind(Fd(socket_), address, static_cast<socklen_t>(length)) != 0 ||
        ::getsockname(Fd(socket_), reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0) {
        return false;
    }
    const int on = 1;
    [[maybe_unused]] const int result = bound.ss_family == AF_INET6
                                            ? ::setsockopt(Fd(socket_), IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof on)
                                            : ::setsockopt(Fd(socket_), IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    // Each datagram also comes with the count of those dropped before it.
    [[maybe_unused]] const int counted = ::setsockopt(Fd(socket_), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    dropped_.store(0, std::memory_order_relaxed);
    return true;
}

int TSocket::SetBroadcast(bool enabled) {
    const int value = enabled ? 1 : 0;
    return ::setsockopt(Fd(socket_), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0 ? LastError() : 0;
}

int TSocket::SetReceiveBuffer(int bytes, int& held) {
    held = 0;
    if (::setsockopt(Fd(socket_), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return LastError();
    held = ReceiveBuffer(Fd(socket_));
    // net.core.rmem_max caps SO_RCVBUF; a process that administers the
    // network (root) may go past the cap.
    if (held < bytes && ::setsockopt(Fd(socket_), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) {
        held = ReceiveBuffer(Fd(socket_));
    }
    return 0;
}

long long TSocket::Dropped() const {
    // Asks for the count now, which includes drops after the last datagram
    // read; where the system will not tell, returns the count that datagram
    // came with.
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (socket_ >= 0 && ::getsockopt(Fd(socket_), SOL_SOCKET, SO_MEMINFO, info, &length) == 0 &&
        length > SK_MEMINFO_DROPS * sizeof info[0]) {
        return info[SK_MEMINFO_DROPS];
    }
    return dropped_.load(std::memory_order_relaxed);
}

int TSocket::SendTo(unsigned interfaceIndex, const sockaddr_in& to, ByteView data, std::size_t& sent) {
    sockaddr_in target = to;
    iovec part{const_cast<std::uint8_t*>(data.data()), data.size()};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen = sizeof target;
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
    const ssize_t result = ::sendmsg(Fd(socket_), &message, 0);
    if (result < 0) return LastError();
    sent = static_cast<std::size_t>(result);
    return 0;
}

int TSocket::WaitReadable(int timeoutMs) {
    pollfd fds[2] = {{Fd(socket_), POLLIN, 0}, {Fd(wake_), POLLIN, 0}};
    const int ready = ::poll(fds, wake_ >= 0 ? 2 : 1, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR) return 0;  // a signal is no failure of the wait
        return -LastError();
    }
    if (wake_ >= 0 && (fds[1].revents & POLLIN) != 0) {
        Drain(wake_);
        return 0;
    }
    if ((fds[0].revents & POLLNVAL) != 0) return -kWSAENOTSOCK;
    return (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0 ? 1 : 0;
}

void TSocket::Wake() {
    if (wake_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(Fd(wake_), &one, sizeof one);
}

int TSocket::Receive(TIdBytes& buffer, sockaddr_storage& from, unsigned& arrivalInterface) {
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo)) + CMSG_SPACE(sizeof(in_pktinfo)) +
                                  CMSG_SPACE(sizeof(std::uint32_t))] = {};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // MSG_TRUNC makes Linux report the datagram's real length, so a datagram
    // longer than the buffer is noticed instead of arriving cut short.
    // MSG_DONTWAIT keeps the listener from blocking here: a datagram that
    // poll() announced may have been dropped meanwhile (bad checksum).
    const ssize_t received = ::recvmsg(Fd(socket_), &message, MSG_TRUNC | MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -LastError();
    }
    if (static_cast<std::size_t>(received) > buffer.size()) return -kWSAEMSGSIZE;
    buffer.resize(static_cast<std::size_t>(received));
    arrivalInterface = ArrivalInterface(message, dropped_);
    return 1;
}

// Linux keeps at most 15 characters of a thread's name.
std::size_t ThreadNameLimit() { return 15; }

void NameThisThread(const std::string& name) { ::pthread_setname_np(::pthread_self(), name.c_str()); }

void RaiseThisThreadsPriority() {
    // Where the process may not raise it, the priority stays as it is.
    [[maybe_unused]] const int result = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kHighestNice);
}

}  // namespace sys

namespace {

// Releases the interface list with freeifaddrs.
struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

std::vector<TIdInterface> BroadcastInterfaces() {
    std::vector<TIdInterface> found;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return found;
    const std::unique_ptr<ifaddrs, IfAddrsDeleter> owned(all);
    for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) continue;
        // An address may carry a label ("eth0:1"); the interface is the part
        // before the colon.
        std::string name = entry->ifa_name != nullptr ? entry->ifa_name : "";
        name = name.substr(0, name.find(':'));
        const unsigned index = ::if_nametoindex(name.c_str());
        if (index == 0) continue;
        const bool known = std::any_of(found.begin(), found.end(),
                                       [index](const TIdInterface& item) { return item.Index == index; });
        if (known) continue;  // skips a second address of the same interface
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        found.push_back({index, std::move(name), text});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TIdInterface& a, const TIdInterface& b) { return a.Index < b.Index; });
    return found;
}

std::vector<TIdHostAddress> HostAddresses() {
    std::vector<TIdHostAddress> found;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return found;
    const std::unique_ptr<ifaddrs, IfAddrsDeleter> owned(all);
    for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask);
        const unsigned prefix = mask != nullptr ? static_cast<unsigned>(std::popcount(mask->sin_addr.s_addr)) : 32;
        found.push_back({text, prefix});
    }
    return found;
}

std::string InterfaceName(unsigned index) {
    if (index == 0) return {};
    char name[IF_NAMESIZE] = {};
    if (::if_indextoname(index, name) == nullptr) return {};
    return name;
}

}  // namespace melvorin::net
