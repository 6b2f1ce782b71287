// Runs one suite of the hardening tests against the real window (offscreen,
// boxes recorded instead of shown):
//   flood    a burst of hostile datagrams from another process
//   faults   ports taken, a raising notice box, C1 keys, undecodable SSIDs
//   closing  the program's end while notice boxes hold their listeners
//   ipv6off  the window in a network namespace of its own with IPv6 off
// Refuses to run outside a private network namespace: the window broadcasts.

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "netns_guard.h"
#include "ui/app_title.h"
#include "ui/handover_pump.h"

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
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "melvorin_hardening_tests: refusing to run outside a private network namespace: %s\n",
                     problem.c_str());
        return 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s flood|faults|closing|ipv6off [QtTest options]\n", argv[0]);
        return 2;
    }
    const std::string suiteName = argv[1];
    if (suiteName == "ipv6off") {
        const std::string failure = EnterNamespaceWithoutIPv6();
        if (!failure.empty()) {
            std::fprintf(stderr, "melvorin_hardening_tests: %s\n", failure.c_str());
            return 2;
        }
    }

    QApplication app(argc, argv);
    melvorin::ui::SetApplicationTitle(QStringLiteral("Melvorin"));
    melvorin::ui::THandOverPump pump;

    std::unique_ptr<QObject> suite;
    if (suiteName == "flood") {
        suite = melvorin::hardening::MakeFloodTests();
    } else if (suiteName == "faults") {
        suite = melvorin::hardening::MakeFaultTests();
    } else if (suiteName == "closing") {
        suite = melvorin::hardening::MakeClosingTests();
    } else if (suiteName == "ipv6off") {
        suite = melvorin::hardening::MakeIPv6OffTests();
    } else {
        std::fprintf(stderr, "unknown suite %s\n", argv[1]);
        return 2;
    }
    std::vector<char*> args{argv[0]};
    for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
    return QTest::qExec(suite.get(), static_cast<int>(args.size()), args.data());
}
