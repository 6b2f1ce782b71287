#include "net/neighbours.h"

// Looking up a snapshot; Read() is per system (neighbours_linux.cpp,
// neighbours_windows.cpp).

#include <algorithm>
#include <tuple>

namespace melvorin::net {

namespace {

bool Before(const TNeighbour& a, const TNeighbour& b) {
    return std::tie(a.interfaceIndex, a.address) < std::tie(b.interfaceIndex, b.address);
}

}  // namespace

TNeighbourTable::TNeighbourTable(std::vector<TNeighbour> entries) : entries_(std::move(entries)) {
    std::stable_sort(entries_.begin(), entries_.end(), Before);
}

std::optional<units::HardwareAddress> TNeighbourTable::Find(unsigned interfaceIndex,
                                                            const std::string& address) const {
    TNeighbour wanted;
    wanted.interfaceIndex = interfaceIndex;
    wanted.address = address;
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), wanted, Before);
    if (it == entries_.end() || it->interfaceIndex != interfaceIndex || it->address != address) return std::nullopt;
    return it->hardware;
}

}  // namespace melvorin::net
