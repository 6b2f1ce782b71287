// Windows: the UDP tables with their owning processes, and each process's
// account where this account may read it. A process it may not open (another
// user's, for one who is not an administrator) cannot be told apart from one
// of a harmless account: it counts as another user's, so the key is not
// broadcast beside it.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "net/local_listeners.h"
#include "net/utf8_windows.h"
#include "protocol/ports.h"

namespace melvorin::net {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The token's information of `kind`, or nothing.
std::vector<BYTE> TokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetTokenInformation(token, kind, info.data(), size, &size)) info.clear();
    return info;
}

// "DOMAIN\user" of `sid`, or "".
std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return {};
    return sys::Utf8((std::wstring(domain) + L"\\" + name).c_str());
}

// Whether the token's groups hold the administrators' group, enabled (an
// elevated administrator).
bool ElevatedAdministrator(HANDLE token) {
    std::vector<BYTE> info = TokenInfo(token, TokenGroups);
    if (info.empty()) return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(info.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if ((groups->Groups[i].Attributes & SE_GROUP_ENABLED) != 0 &&
            IsWellKnownSid(groups->Groups[i].Sid, WinBuiltinAdministratorsSid)) {
            return true;
        }
    }
    return false;
}

class Owners {
public:
    Owners() {
        HANDLE rawToken = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
            const Handle token(rawToken);
            self_ = TokenInfo(token.get(), TokenUser);
        }
    }

    // Adds the owner of process `pid` unless it is this user, the system or
    // an elevated administrator.
    void Add(DWORD pid) {
        // 0: the idle process; 4: the system (also where Wine cannot name a
        // socket's process).
        if (pid == 0 || pid == 4 || pid == GetCurrentProcessId()) return;
        // A process with sockets of both families is looked up once.
        if (std::find(seen_.begin(), seen_.end(), pid) != seen_.end()) return;
        seen_.push_back(pid);
        std::string owner = Owner(pid);
        if (!owner.empty() && std::find(owners.begin(), owners.end(), owner) == owners.end()) {
            owners.push_back(owner);
        }
    }

    std::vector<std::string> owners;

private:
    std::string Owner(DWORD pid) const {
        const std::string unreadable =
            "the owner of process " + std::to_string(pid) + ", which this account may not read";
        Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        HANDLE rawToken = nullptr;
        if (!process || !OpenProcessToken(process.get(), TOKEN_QUERY, &rawToken)) return unreadable;
        Handle token(rawToken);
        const std::vector<BYTE> user = TokenInfo(token.get(), TokenUser);
        if (user.empty()) return unreadable;
        PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
        if (!self_.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(self_.data())->User.Sid)) return {};
        if (IsWellKnownSid(sid, WinLocalSystemSid) || ElevatedAdministrator(token.get())) return {};
        const std::string name = AccountName(sid);
        return name.empty() ? "the account of process " + std::to_string(pid) : name;
    }

    std::vector<BYTE> self_;
    std::vector<DWORD> seen_;
};

// The table of `family` (AF_INET or AF_INET6) with owning processes; empty
// when it cannot be read.
std::vector<BYTE> UdpTable(ULONG family) {
    std::vector<BYTE> table;
    DWORD size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD result = GetExtendedUdpTable(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                                                 UDP_TABLE_OWNER_PID, 0);
        if (result == NO_ERROR) return table;
        if (result != ERROR_INSUFFICIENT_BUFFER) break;
        table.assign(size, 0);
    }
    return {};
}

}  // namespace

std::vector<std::string> OtherUsersListening(std::uint16_t port, const std::string& unicastTo) {
    in_addr to{};
    if (!unicastTo.empty() && inet_pton(AF_INET, unicastTo.c_str(), &to) != 1) {
        throw EIdLocalListeners("\"" + unicastTo + "\" is no IPv4 address; nothing was sent");
    }
    Owners owners;
    const std::vector<BYTE> v4 = UdpTable(AF_INET);
    if (v4.empty()) {
        throw EIdLocalListeners("Cannot read the UDP table to see who else on this computer would receive the "
                                "join request; nothing was sent");
    }
    // Windows also hands a broadcast to sockets bound to one of the
    // interface's addresses: every IPv4 socket on the port counts. A unicast
    // reaches the sockets bound to its address or to the any-address.
    const auto* t4 = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(v4.data());
    for (DWORD i = 0; i < t4->dwNumEntries; ++i) {
        const DWORD bound = t4->table[i].dwLocalAddr;
        if (ntohs(static_cast<u_short>(t4->table[i].dwLocalPort)) == port &&
            (unicastTo.empty() || bound == INADDR_ANY || bound == to.s_addr)) {
            owners.Add(t4->table[i].dwOwningPid);
        }
    }
    // IPv6 sockets receive IPv4 datagrams only when bound to the any-address
    // as dual-stack sockets.
    const std::vector<BYTE> v6 = UdpTable(AF_INET6);
    if (!v6.empty()) {
        const auto* t6 = reinterpret_cast<const MIB_UDP6TABLE_OWNER_PID*>(v6.data());
        static const UCHAR any[16] = {};
        for (DWORD i = 0; i < t6->dwNumEntries; ++i) {
            if (ntohs(static_cast<u_short>(t6->table[i].dwLocalPort)) == port &&
                std::equal(any, any + 16, t6->table[i].ucLocalAddr)) {
                owners.Add(t6->table[i].dwOwningPid);
            }
        }
    }
    return owners.owners;
}

}  // namespace melvorin::net
