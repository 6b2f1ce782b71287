#include <arpa/inet.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "net/local_listeners.h"
#include "protocol/ports.h"

namespace melvorin::net {

namespace {

// Whether a socket bound to `local` (as /proc/net/udp* writes it, 8 or 32
// hexadecimal digits, each 32-bit word in the host's order) receives a
// datagram to `to` (written so; "" for a limited broadcast): a socket bound
// to the any-address does, one bound to `to` itself (255.255.255.255 for a
// broadcast) does, in IPv4 or in IPv4-mapped IPv6 form; one bound to another
// address does not.
bool Receives(const std::string& local, const std::string& to) {
    const auto all = [](const std::string& text, char c) {
        return std::all_of(text.begin(), text.end(), [c](char x) { return x == c; });
    };
    const auto takes = [&](const std::string& v4) { return all(v4, '0') || (to.empty() ? all(v4, 'F') : v4 == to); };
    if (local.size() == 8) return takes(local);
    if (local.size() != 32 || !all(local.substr(0, 16), '0')) return false;
    const std::string mapped = local.substr(16, 8);
    const std::string v4 = local.substr(24);
    if (all(mapped, '0')) return all(v4, '0');  // ::
    return (mapped == "FFFF0000" || mapped == "0000FFFF") && takes(v4);
}

std::string OwnerName(unsigned long uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::string buffer(16384, '\0');
    const std::string number = "uid " + std::to_string(uid);
    if (getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && *found->pw_name != '\0') {
        return std::string(found->pw_name) + " (" + number + ")";
    }
    return number;
}

// Adds the owners found in one table (/proc/net/udp or udp6). Returns
// whether the table could be read.
bool ReadTable(const char* path, std::uint16_t port, const std::string& to, std::vector<std::string>& owners) {
    std::ifstream table(path);
    if (!table) return false;
    std::string line;
    std::getline(table, line);  // the heading
    const unsigned long self = geteuid();
    while (std::getline(table, line)) {
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid ...
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        unsigned long uid = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid)) continue;
        const std::size_t colon = local.find(':');
        const std::size_t remoteColon = remote.find(':');
        if (colon == std::string::npos || remoteColon == std::string::npos) continue;
        if (std::stoul(local.substr(colon + 1), nullptr, 16) != port) continue;
        // A socket connected to another peer only receives from that peer.
        const unsigned long remotePort = std::stoul(remote.substr(remoteColon + 1), nullptr, 16);
        if (remotePort != 0 && remotePort != kReplyPort) continue;
        if (!Receives(local.substr(0, colon), to) || uid == 0 || uid == self) continue;
        const std::string owner = OwnerName(uid);
        if (std::find(owners.begin(), owners.end(), owner) == owners.end()) owners.push_back(owner);
    }
    return true;
}

}  // namespace

std::vector<std::string> OtherUsersListening(std::uint16_t port, const std::string& unicastTo) {
    std::string to;
    in_addr address{};
    if (!unicastTo.empty()) {
        if (inet_pton(AF_INET, unicastTo.c_str(), &address) != 1) {
            throw EIdLocalListeners("\"" + unicastTo + "\" is no IPv4 address; nothing was sent");
        }
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(address.s_addr));
        to = hex;
    }
    std::vector<std::string> owners;
    const bool v4 = ReadTable("/proc/net/udp", port, to, owners);
    ReadTable("/proc/net/udp6", port, to, owners);  // absent without IPv6
    if (!v4) {
        throw EIdLocalListeners("Cannot read /proc/net/udp to see who else on this computer would receive the "
                                "join request; nothing was sent");
    }
    return owners;
}

}  // namespace melvorin::net
