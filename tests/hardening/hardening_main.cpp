// Runs one suite of the hardening tests against the real window (offscreen,
// boxes recorded instead of shown):
//   flood    a burst of hostile datagrams from another process
//   faults   ports taken, a raising notice box, C1 keys, undecodable SSIDs
//   closing  the program's end while a notice box holds its listener
//   ipv6off  the window in a network namespace of its own with IPv6 off

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "qt_support.h"

namespace melvorin::hardening {
std::unique_ptr<QObject> MakeFloodTests();
std::unique_ptr<QObject> MakeFaultTests();
std::unique_ptr<QObject> MakeClosingTests();
std::unique_ptr<QObject> MakeIPv6OffTests();
}  // namespace melvorin::hardening

namespace {

// A network namespace of this process's own, nested in the private one: lo
// up, the broadcast address routed to it, IPv6 switched off. Done before any
// thread exists.
std::string EnterNamespaceWithoutIPv6() {
    if (::unshare(CLONE_NEWNET) != 0) return std::string("unshare: ") + std::strerror(errno);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) ::close(fd);
    if (!up) return "cannot bring lo up";
    {
        std::ofstream off("/proc/sys/net/ipv6/conf/all/disable_ipv6");
        off << "1\n";
        off.flush();
        if (!off) return "cannot switch IPv6 off";
    }
    {
        std::ofstream off("/proc/sys/net/ipv6/conf/lo/disable_ipv6");
        off << "1\n";
    }
    if (std::system("ip route add 255.255.255.255/32 dev lo src 127.0.0.1") != 0) return "cannot route the broadcast address to lo";
    return {};
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace melvorin::hardening;
    return melvorin::testing::RunQtSuite(
        argc, argv,
        {{"flood", MakeFloodTests}, {"faults", MakeFaultTests}, {"closing", MakeClosingTests},
         {"ipv6off", MakeIPv6OffTests}},
        [](const std::string& suite) { return suite == "ipv6off" ? EnterNamespaceWithoutIPv6() : std::string(); });
}
