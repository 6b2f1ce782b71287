// melvorin-devsim: a simulated Wi-Fi device that answers Melvorin's scan and
// join requests over UDP. See --help.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/online.h"
#include "devsim/sealed.h"
#include "devsim/options.h"
#include "melvorin/version.h"
#include "net/descriptor.h"
#include "net/wire_log.h"
#include "protocol/ports.h"
#include "seal/sealed_join.h"

namespace {

using melvorin::TIdBytes;
namespace devsim = melvorin::devsim;

constexpr const char* kProg = "melvorin-devsim";
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

volatile std::sig_atomic_t gStop = 0;

// Hex of a datagram for the log, cut after 1024 bytes so that a flood of
// large datagrams cannot bury the log (or block on a full pipe); a join
// request's key hidden as the station's log hides it, unless `showSecrets`.
std::string LogHex(const TIdBytes& bytes, bool showSecrets) {
    constexpr std::size_t kMaxLogged = 1024;
    if (bytes.size() <= kMaxLogged) return melvorin::net::WireBytes(bytes, showSecrets);
    return melvorin::net::WireBytes(TIdBytes(bytes.begin(), bytes.begin() + kMaxLogged), showSecrets) + " ... (" +
           std::to_string(bytes.size() - kMaxLogged) + " more bytes)";
}

void OnStopSignal(int) { gStop = 1; }

std::string Endpoint(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

// SIGINT and SIGTERM are blocked except while waiting in ppoll, so a signal
// can never slip in between the stop check and the wait.
bool InstallSignals(sigset_t& waitMask) {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGINT, &sa, nullptr) != 0 || sigaction(SIGTERM, &sa, nullptr) != 0) return false;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &block, &waitMask) != 0) return false;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    return true;
}

// A bound UDP socket, or none with the message printed. `shared` lets other
// sockets take the same port (several devices, several simulators).
melvorin::net::TDescriptor OpenSocket(std::uint32_t address, std::uint16_t port, bool shared, int& exitCode) {
    melvorin::net::TDescriptor socketFd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int fd = socketFd.Get();
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot create a UDP socket: %s\n", kProg, std::strerror(errno));
        exitCode = kExitFailure;
        return {};
    }
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        (shared && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)) {
        std::fprintf(stderr, "%s: cannot set the socket's options: %s\n", kProg, std::strerror(errno));
        exitCode = kExitFailure;
        return {};
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        const std::string where = devsim::DottedAddress(address) + ":" + std::to_string(port);
        if (err == EADDRINUSE) {
            std::fprintf(stderr, "%s: UDP port %u is already in use (%s)\n", kProg, unsigned{port}, where.c_str());
        } else {
            std::fprintf(stderr, "%s: cannot listen on UDP port %u (%s): %s\n", kProg, unsigned{port}, where.c_str(),
                         std::strerror(err));
        }
        exitCode = err == EADDRINUSE || err == EACCES || err == EADDRNOTAVAIL ? kExitUsage : kExitFailure;
        return {};
    }
    return socketFd;
}

// Socket 0 listens on 0.0.0.0 and receives the broadcasts. With one device it
// also answers; with several, device d answers from socket d + 1, bound to
// its own address, and a datagram on that socket is for device d alone.
struct Sockets {
    std::vector<melvorin::net::TDescriptor> fds;
    bool multi() const { return fds.size() > 1; }
    int devices() const { return multi() ? static_cast<int>(fds.size()) - 1 : 1; }
    int replyFd(int device) const {
        return multi() ? fds[static_cast<std::size_t>(device) + 1].Get() : fds[0].Get();
    }
};

// The link the replies cross: with --loss it drops some, at random.
class Link {
public:
    explicit Link(const devsim::Options& opt)
        : seed_(opt.seed ? *opt.seed : std::random_device{}()), random_(seed_), drop_(opt.loss) {}
    bool Drops() { return drop_.p() > 0.0 && drop_(random_); }
    std::uint64_t Seed() const { return seed_; }

private:
    std::uint64_t seed_;
    std::mt19937_64 random_;
    std::bernoulli_distribution drop_;
};

// The sealed unit around the device, with --sealed.
std::unique_ptr<devsim::SealedUnit> gSealed;
// The announcements on the target link, with --target-link.
std::unique_ptr<devsim::Announcer> gOnline;

void Answer(const devsim::Options& opt, const Sockets& sockets, Link& link, int device, const sockaddr_in& from,
            const TIdBytes& datagram) {
    // Named only where something is printed: a broadcast reaches every device.
    const auto name = [&] {
        return sockets.multi()
                   ? std::string(kProg) + " " + devsim::DottedAddress(opt.firstAddress + static_cast<std::uint32_t>(device))
                   : std::string(kProg);
    };
    std::optional<TIdBytes> reply;
    try {
        const TIdBytes received = devsim::Received(opt.fault, datagram);
        reply = devsim::Sent(opt.fault, gSealed ? gSealed->Handle(received, opt.config)
                                                : devsim::HandleRequest(received, opt.config));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: failed to handle a datagram from %s: %s\n", name().c_str(), Endpoint(from).c_str(),
                     e.what());
        return;
    }
    if (!reply) {
        if (opt.verbose) {
            std::fprintf(stderr, "%s: ignored %zu bytes from %s: %s\n", name().c_str(), datagram.size(),
                         Endpoint(from).c_str(), LogHex(datagram, opt.showSecrets).c_str());
        }
        return;
    }
    sockaddr_in broadcast{};
    broadcast.sin_family = AF_INET;
    broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    broadcast.sin_port = htons(melvorin::kReplyPort);
    const sockaddr_in& to = opt.replyBroadcast ? broadcast : from;
    const bool lost = link.Drops();
    if (opt.verbose) {
        const std::string who = name();
        std::fprintf(stderr, "%s: request from %s: %s\n%s: reply to %s%s: %s\n", who.c_str(), Endpoint(from).c_str(),
                     LogHex(datagram, opt.showSecrets).c_str(), who.c_str(), Endpoint(to).c_str(),
                     lost ? " lost (--loss)" : "", LogHex(*reply, opt.showSecrets).c_str());
    }
    if (!lost && sendto(sockets.replyFd(device), reply->data(), reply->size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        std::fprintf(stderr, "%s: cannot send the reply to %s: %s\n", name().c_str(), Endpoint(to).c_str(),
                     std::strerror(errno));
    }
    // Joined (even when the result was lost on the way): online on the target link.
    if (gOnline && devsim::JoinAccepted(*reply)) {
        gOnline->Joined(gSealed && datagram.size() > 3 && datagram[3] == melvorin::seal::kSealedJoin ? gSealed.get() : nullptr);
    }
}

int Run(const devsim::Options& opt) {
    sigset_t waitMask;
    if (!InstallSignals(waitMask)) {
        std::fprintf(stderr, "%s: cannot install signal handlers: %s\n", kProg, std::strerror(errno));
        return kExitFailure;
    }

    Sockets sockets;
    int status = 0;
    const bool shared = opt.devices > 0;
    sockets.fds.push_back(OpenSocket(INADDR_ANY, opt.port, shared, status));
    for (unsigned d = 0; sockets.fds.back().Valid() && d < opt.devices; ++d) {
        sockets.fds.push_back(OpenSocket(opt.firstAddress + d, opt.port, shared, status));
    }
    if (!sockets.fds.back().Valid()) {
        sockets.fds.pop_back();
        return status;
    }

    Link link(opt);
    const std::string lossy = opt.loss > 0.0 ? ", dropping replies with probability " + std::to_string(opt.loss) +
                                                   ", seed " + std::to_string(link.Seed())
                                             : "";
    if (shared) {
        std::fprintf(stderr, "%s: listening on port %u with %zu networks as %u devices, %s to %s%s\n", kProg,
                     unsigned{opt.port}, opt.config.networks.size(), opt.devices,
                     devsim::DottedAddress(opt.firstAddress).c_str(),
                     devsim::DottedAddress(opt.firstAddress + opt.devices - 1).c_str(), lossy.c_str());
    } else {
        std::fprintf(stderr, "%s: listening on port %u with %zu networks%s\n", kProg, unsigned{opt.port},
                     opt.config.networks.size(), lossy.c_str());
    }
    std::fflush(stderr);

    std::vector<pollfd> pfds;
    for (const auto& fd : sockets.fds) pfds.push_back(pollfd{fd.Get(), POLLIN, 0});
    // 65536 bytes hold any UDP datagram over IPv4; MSG_TRUNC reports the
    // real size should one ever be larger.
    std::vector<std::uint8_t> buffer(65536);
    while (!gStop) {
        const int wait = gOnline ? gOnline->TimeoutMs() : -1;
        const timespec timeout{wait / 1000, (wait % 1000) * 1000000L};
        const int ready = ppoll(pfds.data(), pfds.size(), wait < 0 ? nullptr : &timeout, &waitMask);
        if (gOnline) gOnline->SendDue();
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "%s: waiting for datagrams failed: %s\n", kProg, std::strerror(errno));
            status = kExitFailure;
            break;
        }
        for (std::size_t i = 0; i < pfds.size(); ++i) {
            if (pfds[i].revents == 0) continue;
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            const ssize_t got = recvfrom(pfds[i].fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (got < 0) {
                // An ICMP error of an earlier send (ECONNREFUSED and the like)
                // comes back here; it concerns that send only.
                if (opt.verbose && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                    std::fprintf(stderr, "%s: receive: %s\n", kProg, std::strerror(errno));
                }
                continue;
            }
            if (static_cast<std::size_t>(got) > buffer.size()) {
                if (opt.verbose) {
                    std::fprintf(stderr, "%s: ignored an oversized datagram of %zd bytes from %s\n", kProg, got,
                                 Endpoint(from).c_str());
                }
                continue;
            }
            const TIdBytes datagram(buffer.begin(), buffer.begin() + got);
            if (i > 0) {
                Answer(opt, sockets, link, static_cast<int>(i) - 1, from, datagram);
            } else {
                for (int d = 0; d < sockets.devices(); ++d) Answer(opt, sockets, link, d, from, datagram);
            }
        }
    }
    if (status == 0 && opt.verbose) std::fprintf(stderr, "%s: stopped\n", kProg);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    devsim::Options opt;
    try {
        opt = devsim::ParseArgs(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const devsim::UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", kProg, e.what());
        return kExitUsage;
    }
    if (opt.help) {
        std::fputs(devsim::UsageText().c_str(), stdout);
        return 0;
    }
    if (opt.version) {
        std::printf("%s %s\n", kProg, melvorin::kVersion);
        return 0;
    }
    if (opt.sealed) {
        try {
            gSealed = std::make_unique<devsim::SealedUnit>(opt.unitKey);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", kProg, e.what());
            return kExitUsage;
        }
        if (opt.label) {
            std::printf("%s\n", gSealed->LabelCode().c_str());
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        std::printf("label code: %s\n", gSealed->LabelCode().c_str());
        std::fflush(stdout);
    }
    if (!opt.targetLink.empty()) gOnline = std::make_unique<devsim::Announcer>(opt.targetLink, opt.verbose);
    return Run(opt);
}
