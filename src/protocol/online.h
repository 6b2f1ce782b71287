// The online announcement (command 0x84, docs/sealed-join.md): after a join,
// a unit that reached the network it joined and got an address there tells
// the stations so by a broadcast to the reply port. The station's dispatch
// ignores the command; this reads it, for a station that listens for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/bytes.h"

namespace melvorin {

inline constexpr std::uint8_t kOnlineCommand = 0x84;
inline constexpr std::uint8_t kOnlineVersion = 0x01;
inline constexpr std::uint8_t kOnlineSealed = 0x01;  // the flags' bit 0
inline constexpr std::size_t kOnlineClearSize = 17;
inline constexpr std::size_t kOnlineSealedSize = 49;

struct TOnline {
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 4> ipv4{};  // as on the wire, most significant first
    bool sealed = false;
    // A sealed join's: the station's token it carried, and the tag over the
    // addresses (zero in a clear announcement).
    std::array<std::uint8_t, 16> token{};
    std::array<std::uint8_t, 16> tag{};
};

// The announcement a datagram holds: FF 00 <n - 4> 84 01 <mac> <ipv4>
// <flags> [<token> <tag>] <checksum>, 17 bytes with flags 00 or 49 with
// flags 01. Empty for anything else.
std::optional<TOnline> ParseOnline(const TIdBytes& datagram);

}  // namespace melvorin
