#include "net/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

namespace melvorin::net {

namespace {

// The interface list, released by freeifaddrs.
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
        if (known) continue;  // a second address of the same interface
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        found.push_back({index, std::move(name), text});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TIdInterface& a, const TIdInterface& b) { return a.Index < b.Index; });
    return found;
}

std::string InterfaceName(unsigned index) {
    if (index == 0) return {};
    char name[IF_NAMESIZE] = {};
    if (::if_indextoname(index, name) == nullptr) return {};
    return name;
}

}  // namespace melvorin::net
