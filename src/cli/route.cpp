#include "cli/route.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/interfaces.h"

namespace melvorin::cli {

unsigned BroadcastInterfaceIndex(const std::string& name) {
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Name == name) return iface.Index;
    }
    return 0;
}

unsigned UsableInterface(unsigned index, const std::vector<net::TIdInterface>& broadcast) {
    for (const net::TIdInterface& iface : broadcast) {
        if (iface.Index == index) return index;
    }
    return 0;
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
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Address == text) return iface.Index;
    }
    return 0;
}

}  // namespace melvorin::cli
