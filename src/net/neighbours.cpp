#include "net/neighbours.h"

// PLACEHOLDER while the neighbour table reader is written on its own branch:
// Read() must be replaced before anything merges into main.

namespace melvorin::net {

TNeighbourTable TNeighbourTable::Read() { return {}; }

std::optional<units::HardwareAddress> TNeighbourTable::Find(unsigned interfaceIndex,
                                                            const std::string& address) const {
    for (const TNeighbour& entry : entries_) {
        if (entry.interfaceIndex == interfaceIndex && entry.address == address) return entry.hardware;
    }
    return std::nullopt;
}

}  // namespace melvorin::net
