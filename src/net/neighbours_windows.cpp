// The neighbour table on Windows: GetIpNetTable2 (iphlpapi), IPv4 entries
// only. Nothing goes onto the network: the system answers from its table.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <algorithm>
#include <vector>

#include "net/neighbours.h"

namespace melvorin::net {

TNeighbourTable TNeighbourTable::Read() {
    MIB_IPNET_TABLE2* table = nullptr;
    if (::GetIpNetTable2(AF_INET, &table) != NO_ERROR || table == nullptr) return {};
    std::vector<TNeighbour> entries;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        const UCHAR* hardware = row.PhysicalAddress;
        // Any state counts while the entry carries an address; an incomplete
        // one carries none, or all zeros as a placeholder.
        if (row.PhysicalAddressLength != 6 ||
            std::all_of(hardware, hardware + 6, [](UCHAR b) { return b == 0; })) {
            continue;
        }
        TNeighbour entry;
        entry.interfaceIndex = static_cast<unsigned>(row.InterfaceIndex);
        char text[INET_ADDRSTRLEN] = {};
        in_addr address = row.Address.Ipv4.sin_addr;
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        entry.address = text;
        std::copy(hardware, hardware + 6, entry.hardware.octets.begin());
        entries.push_back(std::move(entry));
    }
    ::FreeMibTable(table);
    return TNeighbourTable(std::move(entries));
}

}  // namespace melvorin::net
