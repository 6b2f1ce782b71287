// Runs an endpoint in a network namespace of its own whose IPv6 is switched
// off, and prints what it made of it. Started by the transport tests from
// inside their private namespace; the switch never reaches the host or the
// tests' namespace.

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "net/udp_server.h"
#include "net_test_util.h"
#include "netns_guard.h"

namespace {

ino_t NetNamespace() {
    struct stat info {};
    if (::stat("/proc/self/ns/net", &info) != 0) return 0;
    return info.st_ino;
}

bool LoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

int main() {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "refusing to run outside a private network namespace: %s\n", problem.c_str());
        return 1;
    }
    const ino_t before = NetNamespace();
    if (::unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare");
        return 2;
    }
    const ino_t after = NetNamespace();
    if (before == 0 || after == before) {
        std::fprintf(stderr, "no namespace of its own\n");
        return 3;
    }
    if (!LoopbackUp()) {
        std::fprintf(stderr, "cannot bring lo up\n");
        return 4;
    }
    {
        std::ofstream off("/proc/sys/net/ipv6/conf/all/disable_ipv6");
        off << "1\n";
        off.flush();
        if (!off) {
            std::fprintf(stderr, "cannot switch IPv6 off\n");
            return 5;
        }
    }

    melvorin::net::SetMainThread();
    int received = 0;
    int bindings = 0;
    int listeners = 0;
    bool active = false;
    try {
        melvorin::net::TIdUDPServer server("idpsrvr1");
        server.SetBroadcastEnabled(true);
        server.SetDefaultPort(12345);
        server.OnUDPRead = [&](melvorin::net::TIdUDPListenerThread&, const melvorin::TIdBytes& data,
                               melvorin::net::TIdSocketHandle&) {
            if (data == melvorin::TIdBytes{1, 2}) ++received;
        };
        server.SendDatagram("255.255.255.255", 1902, {});
        bindings = server.Bindings().Count();
        listeners = server.ListenerCount();
        active = server.Active();
        melvorin::net::test::UdpPeer peer;
        peer.SendTo("127.0.0.1", 12345, {1, 2});
        melvorin::net::test::PumpUntil([&] { return received > 0; });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "endpoint failed: %s\n", e.what());
        return 6;
    }
    std::printf("bindings=%d listeners=%d active=%d received=%d\n", bindings, listeners, active ? 1 : 0, received);
    return 0;
}
