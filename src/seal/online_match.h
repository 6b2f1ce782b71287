// Whether a unit's online announcement (command 0x84) speaks of a station's
// own join (docs/sealed-join.md): the unit's hardware address, and after a
// sealed join the join's token and its tag.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/online.h"
#include "seal/hpke.h"
#include "seal/sealed_join.h"

namespace melvorin::seal {

// The unit a station joined, as its announcement is matched to the join.
struct JoinedUnit {
  std::array<std::uint8_t, 6> mac{};
  // A sealed join's context and token; empty after a clear join.
  std::optional<Sender> sender;
  std::array<std::uint8_t, kTokenSize> token{};
};

enum class OnlineMatch {
  Ours,     // the joined unit is online at the announced address
  NotOurs,  // another unit's, or another join's (another token; a sealed
            // announcement after a clear join)
  Forged,   // the joined unit's hardware address after a sealed join,
            // without the join's tag: to be dropped as a bad datagram
};

// A clear join's announcement is Ours on the hardware address alone: it
// proves nothing but what the unit says.
OnlineMatch MatchOnline(const JoinedUnit& unit, const TOnline& online);

}  // namespace melvorin::seal
