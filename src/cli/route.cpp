#include "cli/route.h"

#include "cli/system.h"
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
    const std::string text = sys::LocalAddressTowards(address);
    if (text.empty()) return 0;
    for (const net::TIdInterface& iface : net::BroadcastInterfaces()) {
        if (iface.Address == text) return iface.Index;
    }
    return 0;
}

}  // namespace melvorin::cli
