#include "devsim/online.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <melvorin_device.h>

#include "protocol/frame.h"
#include "protocol/hex.h"
#include "protocol/ports.h"

namespace melvorin::devsim {

namespace {

constexpr const char* kProg = "melvorin-devsim";

}  // namespace

std::optional<LinkAddresses> ReadLinkAddresses(const std::string& name, std::string& problem) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        problem = std::string("cannot read the interfaces: ") + std::strerror(errno);
        return std::nullopt;
    }
    bool haveMac = false, haveIpv4 = false;
    LinkAddresses found;
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || name != i->ifa_name) continue;
        if (i->ifa_addr->sa_family == AF_PACKET && !haveMac) {
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
            if (ll->sll_halen == found.mac.size()) {
                std::copy_n(ll->sll_addr, found.mac.size(), found.mac.begin());
                haveMac = true;
            }
        } else if (i->ifa_addr->sa_family == AF_INET && !haveIpv4) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
            std::memcpy(found.ipv4.data(), &in->sin_addr, found.ipv4.size());
            haveIpv4 = true;
        }
    }
    freeifaddrs(list);
    if (!haveMac) problem = name + " has no hardware address (is it an Ethernet link?)";
    else if (!haveIpv4) problem = name + " has no IPv4 address";
    if (!haveMac || !haveIpv4) return std::nullopt;
    return found;
}

bool JoinAccepted(const TIdBytes& reply) {
    return reply.size() >= 7 && reply[0] == kLeadByte && reply[3] == JoinResult && reply[4] == 0x01 &&
           reply[5] == 0x01;
}

void Announcer::Joined(SealedUnit* sealed) {
    // A new join ends the last one's announcements.
    if (sealed_ != nullptr) sealed_->EndOnline();
    sealed_ = nullptr;
    next_.reset();
    socket_.Reset();
    const auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "%s: no online announcement: %s\n", kProg, why.c_str());
        if (sealed != nullptr) sealed->EndOnline();
    };
    std::string problem;
    const auto addresses = ReadLinkAddresses(link_, problem);
    if (!addresses) return fail(problem);
    std::optional<TIdBytes> frame;
    if (sealed != nullptr) {
        frame = sealed->Online(addresses->mac.data(), addresses->ipv4.data());
    } else {
        frame = TIdBytes(MLVD_ONLINE_SIZE);
        if (mlvd_online(addresses->mac.data(), addresses->ipv4.data(), frame->data(), frame->size()) == 0) frame.reset();
    }
    if (!frame) return fail("it could not be built");
    // From the link's address, out of that link alone.
    net::TDescriptor fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    std::memcpy(&local.sin_addr, addresses->ipv4.data(), addresses->ipv4.size());
    const int on = 1;
    if (!fd.Valid() || setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        setsockopt(fd.Get(), SOL_SOCKET, SO_BINDTODEVICE, link_.c_str(), static_cast<socklen_t>(link_.size())) != 0 ||
        bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail("cannot open a socket on " + link_ + ": " + std::strerror(errno));
    }
    socket_ = std::move(fd);
    frame_ = std::move(*frame);
    sealed_ = sealed;
    sent_ = 0;
    next_ = std::chrono::steady_clock::now();
    SendDue();
}

int Announcer::TimeoutMs() const {
    if (!next_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

void Announcer::SendDue() {
    if (!next_ || std::chrono::steady_clock::now() < *next_) return;
    Send();
    const std::uint32_t wait = mlvd_online_delay_ms(++sent_);
    if (wait != 0) {
        *next_ += std::chrono::milliseconds(wait);
        return;
    }
    // The last one: the sealed unit forgets the join's secret.
    next_.reset();
    socket_.Reset();
    if (sealed_ != nullptr) sealed_->EndOnline();
    sealed_ = nullptr;
}

void Announcer::Send() {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(kReplyPort);
    if (verbose_) {
        std::fprintf(stderr, "%s: online announcement %u on %s to 255.255.255.255:%u: %s\n", kProg, sent_ + 1,
                     link_.c_str(), unsigned{kReplyPort}, Hex(frame_, ' ').c_str());
    }
    if (sendto(socket_.Get(), frame_.data(), frame_.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        std::fprintf(stderr, "%s: cannot send the online announcement on %s: %s\n", kProg, link_.c_str(),
                     std::strerror(errno));
    }
}

}  // namespace melvorin::devsim
