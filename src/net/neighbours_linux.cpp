// The neighbour table on Linux: one RTM_GETNEIGH dump over a NETLINK_ROUTE
// socket (no privileges needed), IPv4 entries only. Nothing goes onto the
// network: the kernel answers from the table it keeps.

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "net/descriptor.h"
#include "net/neighbours.h"

namespace melvorin::net {

namespace {

// One entry of the dump, when it is IPv4 and carries a hardware address of
// six octets that is not all zeros (a placeholder some links keep).
void ReadEntry(const nlmsghdr* message, std::vector<TNeighbour>& entries) {
    if (message->nlmsg_type != RTM_NEWNEIGH || message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) return;
    const auto* neighbour = static_cast<const ndmsg*>(NLMSG_DATA(message));
    if (neighbour->ndm_family != AF_INET) return;
    const unsigned char* address = nullptr;
    const unsigned char* hardware = nullptr;
    int left = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    const char* attributes = reinterpret_cast<const char*>(neighbour) + NLMSG_ALIGN(sizeof(ndmsg));
    for (auto* a = reinterpret_cast<const rtattr*>(attributes); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        const auto length = RTA_PAYLOAD(a);
        if (a->rta_type == NDA_DST && length == 4) address = static_cast<const unsigned char*>(RTA_DATA(a));
        if (a->rta_type == NDA_LLADDR && length == 6) hardware = static_cast<const unsigned char*>(RTA_DATA(a));
    }
    const auto zero = [](unsigned char b) { return b == 0; };
    if (address == nullptr || hardware == nullptr || std::all_of(hardware, hardware + 6, zero)) return;
    TNeighbour entry;
    entry.interfaceIndex = static_cast<unsigned>(neighbour->ndm_ifindex);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, address, text, sizeof text);
    entry.address = text;
    std::copy(hardware, hardware + 6, entry.hardware.octets.begin());
    entries.push_back(std::move(entry));
}

// The dump's messages until NLMSG_DONE; false on an error or a cut reply.
bool ReadDump(int fd, unsigned sequence, std::vector<TNeighbour>& entries) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        int left = static_cast<int>(got);
        for (auto* m = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(m, left); m = NLMSG_NEXT(m, left)) {
            if (m->nlmsg_seq != sequence) continue;
            if (m->nlmsg_type == NLMSG_DONE) return true;
            if (m->nlmsg_type == NLMSG_ERROR) return false;
            ReadEntry(m, entries);
        }
    }
}

}  // namespace

TNeighbourTable TNeighbourTable::Read() {
    const TDescriptor socketFd(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (socketFd.Get() < 0) return {};
    // A reply that never comes must not hang the caller.
    const timeval wait{2, 0};
    setsockopt(socketFd.Get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

    struct {
        nlmsghdr header;
        ndmsg body;
    } request{};
    constexpr unsigned kSequence = 1;
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = kSequence;
    request.body.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(socketFd.Get(), &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) < 0) {
        return {};
    }
    std::vector<TNeighbour> entries;
    if (!ReadDump(socketFd.Get(), kSequence, entries)) return {};
    return TNeighbourTable(std::move(entries));
}

}  // namespace melvorin::net
