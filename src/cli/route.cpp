#include "cli/route.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace melvorin::cli {

unsigned InterfaceIndex(const std::string& name) { return if_nametoindex(name.c_str()); }

unsigned UsableInterface(unsigned index) {
    if (index == 0) return 0;
    char name[IF_NAMESIZE] = {};
    if (if_indextoname(index, name) == nullptr) return 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    unsigned usable = 0;
    for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (std::strcmp(ifa->ifa_name, name) == 0) {
            usable = (ifa->ifa_flags & IFF_LOOPBACK) ? 0 : index;
            break;
        }
    }
    freeifaddrs(list);
    return usable;
}

unsigned InterfaceTowards(const std::string& address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return 0;
    // Connecting a datagram socket only looks the route up; nothing is sent.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool routed = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(fd);
    if (!routed) return 0;

    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    unsigned index = 0;
    for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
        if (in->sin_addr.s_addr == local.sin_addr.s_addr) {
            index = (ifa->ifa_flags & IFF_LOOPBACK) ? 0 : if_nametoindex(ifa->ifa_name);
            break;
        }
    }
    freeifaddrs(list);
    return index;
}

}  // namespace melvorin::cli
