#include "net/stack.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "net/errors.h"
#include "net/sockets.h"
#include "net/system.h"

namespace melvorin::net {

namespace {

std::mutex gStackLock;
int gUsage = 0;
TIdStack* gStack = nullptr;

// A lookup's result list, released by freeaddrinfo.
struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

// A decimal integer with an optional sign, within 0..255.
std::optional<std::uint8_t> Octet(const std::string& part) {
    const std::string text = Trimmed(part);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 255) return std::nullopt;
    }
    if (negative && value != 0) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

}  // namespace

void TIdStack::IncUsage() {
    std::lock_guard<std::mutex> lock(gStackLock);
    if (gUsage == 0) {
        const std::string failure = sys::StartSockets();
        if (!failure.empty()) throw EIdStackInitializationFailed(failure);
        gStack = new TIdStack();
    }
    ++gUsage;
}

void TIdStack::DecUsage() {
    std::lock_guard<std::mutex> lock(gStackLock);
    if (gUsage > 0 && --gUsage == 0) {
        delete gStack;
        gStack = nullptr;
    }
}

int TIdStack::UsageCount() {
    std::lock_guard<std::mutex> lock(gStackLock);
    return gUsage;
}

TIdStack* TIdStack::Instance() {
    std::lock_guard<std::mutex> lock(gStackLock);
    return gStack;
}

bool TIdStack::SupportsIPv6() const {
    return sys::IPv6Usable();
}

std::optional<std::array<std::uint8_t, 4>> TIdStack::DottedBytes(const std::string& host) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        parts.push_back(host.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 4) return std::nullopt;
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto octet = Octet(parts[i]);
        if (!octet) return std::nullopt;
        bytes[i] = *octet;
    }
    return bytes;
}

bool TIdStack::IsIP(const std::string& host) {
    return DottedBytes(host).has_value();
}

std::string TIdStack::ResolveHost(const std::string& host) const {
    if (IsIP(host)) return host;
    // An empty name is no host (Windows' lookup would answer with this one).
    if (host.empty()) RaiseSocketError(kWSAHostNotFound);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* first = nullptr;
    // Every failure of the lookup (no such name, no answer, no resolver)
    // reports "Host not found.".
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &first);
    const AddrInfoList found(result == 0 ? first : nullptr);
    for (const addrinfo* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) return AddressText(entry->ai_addr);
    }
    RaiseSocketError(kWSAHostNotFound);
}

std::string TIdStack::AddressText(const sockaddr* address) {
    char text[64];
    if (address->sa_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        const auto* b = reinterpret_cast<const unsigned char*>(&v4.sin_addr);
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        return text;
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        const auto* b = v6.sin6_addr.s6_addr;
        std::string result;
        for (int group = 0; group < 8; ++group) {
            const unsigned value = (static_cast<unsigned>(b[2 * group]) << 8) | b[2 * group + 1];
            std::snprintf(text, sizeof text, "%X", value);
            if (group > 0) result += ':';
            result += text;
        }
        return result;
    }
    return {};
}

std::uint16_t TIdStack::AddressPort(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        return ntohs(v4.sin_port);
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        return ntohs(v6.sin6_port);
    }
    return 0;
}

}  // namespace melvorin::net
