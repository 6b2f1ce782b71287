// The interface list on Windows (net/interfaces.h): GetAdaptersAddresses,
// each interface named by its friendly name.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "net/interfaces.h"
#include "net/utf8_windows.h"

namespace melvorin::net {

namespace {

// The adapters with their unicast addresses, or empty.
std::unique_ptr<char[]> Adapters() {
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto buffer = std::make_unique<char[]>(size);
        const ULONG result = ::GetAdaptersAddresses(
            AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
        if (result == ERROR_SUCCESS) return buffer;
        if (result != ERROR_BUFFER_OVERFLOW) return nullptr;
    }
    return nullptr;
}

}  // namespace

std::vector<TIdInterface> BroadcastInterfaces() {
    std::vector<TIdInterface> found;
    const auto buffer = Adapters();
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); a != nullptr; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->IfType == IF_TYPE_TUNNEL ||
            a->IfType == IF_TYPE_PPP || a->IfIndex == 0) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
            const sockaddr* address = u->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            char text[INET_ADDRSTRLEN] = {};
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            found.push_back({a->IfIndex, sys::Utf8(a->FriendlyName), text});
            break;
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const TIdInterface& a, const TIdInterface& b) { return a.Index < b.Index; });
    return found;
}

std::vector<TIdHostAddress> HostAddresses() {
    std::vector<TIdHostAddress> found;
    const auto buffer = Adapters();
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); a != nullptr; a = a->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
            const sockaddr* address = u->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
            found.push_back({text, u->OnLinkPrefixLength});
        }
    }
    return found;
}

std::string InterfaceName(unsigned index) {
    if (index == 0) return {};
    const auto buffer = Adapters();
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); a != nullptr; a = a->Next) {
        if (a->IfIndex == index) return sys::Utf8(a->FriendlyName);
    }
    return {};
}

}  // namespace melvorin::net
