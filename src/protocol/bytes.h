#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace melvorin {

// A byte sequence that carries its own length: datagrams, SSIDs, keys on the
// wire and frames. No terminator.
using TIdBytes = std::vector<std::uint8_t>;

// Bytes seen where they are, whoever holds them: nothing is copied.
using ByteView = std::span<const std::uint8_t>;

}  // namespace melvorin
