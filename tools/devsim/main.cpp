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
#include <optional>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/options.h"
#include "melvorin/version.h"
#include "net/descriptor.h"

namespace {

using melvorin::TIdBytes;
namespace devsim = melvorin::devsim;

constexpr const char* kProg = "melvorin-devsim";
constexpr std::uint16_t kToolPort = 12345;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

volatile std::sig_atomic_t gStop = 0;

// Hex of a datagram for the log, cut after 1024 bytes so that a flood of
// large datagrams cannot bury the log (or block on a full pipe).
std::string LogHex(const TIdBytes& bytes) {
    constexpr std::size_t kMaxLogged = 1024;
    if (bytes.size() <= kMaxLogged) return devsim::Hex(bytes);
    return devsim::Hex(TIdBytes(bytes.begin(), bytes.begin() + kMaxLogged)) + " ... (" +
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

int Run(const devsim::Options& opt) {
    sigset_t waitMask;
    if (!InstallSignals(waitMask)) {
        std::fprintf(stderr, "%s: cannot install signal handlers: %s\n", kProg, std::strerror(errno));
        return kExitFailure;
    }

    const melvorin::net::TDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int fd = socket.Get();
    if (!socket.Valid()) {
        std::fprintf(stderr, "%s: cannot create a UDP socket: %s\n", kProg, std::strerror(errno));
        return kExitFailure;
    }
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        std::fprintf(stderr, "%s: cannot permit broadcast: %s\n", kProg, std::strerror(errno));
        return kExitFailure;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(opt.port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        if (err == EADDRINUSE) {
            std::fprintf(stderr, "%s: UDP port %u is already in use\n", kProg, unsigned{opt.port});
        } else {
            std::fprintf(stderr, "%s: cannot listen on UDP port %u: %s\n", kProg, unsigned{opt.port},
                         std::strerror(err));
        }
        return err == EADDRINUSE || err == EACCES ? kExitUsage : kExitFailure;
    }

    std::fprintf(stderr, "%s: listening on port %u with %zu networks\n", kProg, unsigned{opt.port},
                 opt.config.networks.size());
    std::fflush(stderr);

    sockaddr_in broadcast{};
    broadcast.sin_family = AF_INET;
    broadcast.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    broadcast.sin_port = htons(kToolPort);

    // 65536 bytes hold any UDP datagram over IPv4; MSG_TRUNC reports the
    // real size should one ever be larger.
    std::vector<std::uint8_t> buffer(65536);
    int status = 0;
    while (!gStop) {
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ppoll(&pfd, 1, nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "%s: waiting for datagrams failed: %s\n", kProg, std::strerror(errno));
            status = kExitFailure;
            break;
        }
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            // An ICMP error of an earlier send (ECONNREFUSED and the like) comes
            // back here; it concerns that send only.
            if (opt.verbose) std::fprintf(stderr, "%s: receive: %s\n", kProg, std::strerror(errno));
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
        std::optional<TIdBytes> reply;
        try {
            reply = devsim::HandleRequest(datagram, opt.config);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: failed to handle a datagram from %s: %s\n", kProg, Endpoint(from).c_str(),
                         e.what());
            continue;
        }
        if (!reply) {
            if (opt.verbose) {
                std::fprintf(stderr, "%s: ignored %zd bytes from %s: %s\n", kProg, got, Endpoint(from).c_str(),
                             LogHex(datagram).c_str());
            }
            continue;
        }
        const sockaddr_in& to = opt.replyBroadcast ? broadcast : from;
        if (opt.verbose) {
            std::fprintf(stderr, "%s: request from %s: %s\n%s: reply to %s: %s\n", kProg, Endpoint(from).c_str(),
                         LogHex(datagram).c_str(), kProg, Endpoint(to).c_str(), LogHex(*reply).c_str());
        }
        if (sendto(fd, reply->data(), reply->size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
            std::fprintf(stderr, "%s: cannot send the reply to %s: %s\n", kProg, Endpoint(to).c_str(),
                         std::strerror(errno));
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
    return Run(opt);
}
