#pragma once

// The system's IPv4 neighbour table: which hardware address answers for an
// address on an interface. Read as one snapshot, so a round of replies costs
// one read, not one per reply. Reading sends nothing on the network.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "units/hardware_address.h"

namespace melvorin::net {

struct TNeighbour {
    unsigned interfaceIndex = 0;
    std::string address;  // dotted IPv4
    units::HardwareAddress hardware;
};

class TNeighbourTable {
public:
    TNeighbourTable() = default;
    // Kept in order of interface and address, so a look-up is a search, not
    // a walk: a round of a thousand replies meets a table of a thousand.
    explicit TNeighbourTable(std::vector<TNeighbour> entries);

    // Every entry, in any state, that carries a link-layer address; an empty
    // table when the system cannot tell.
    static TNeighbourTable Read();

    // The hardware address for `address` on `interfaceIndex`; nothing when
    // the table has none (loopback, an incomplete entry).
    std::optional<units::HardwareAddress> Find(unsigned interfaceIndex, const std::string& address) const;

    const std::vector<TNeighbour>& Entries() const { return entries_; }

private:
    std::vector<TNeighbour> entries_;
};

}  // namespace melvorin::net
