#pragma once

// After a join, the window listens for the joined unit's online announcement
// (command 0x84, docs/sealed-join.md) on its endpoint: while the join waits
// for its result and for a minute after a result that accepted it. Hearing
// it at all means the station has a link on the network the unit joined.

#include <chrono>
#include <optional>
#include <string>

#include "protocol/bytes.h"
#include "protocol/errors.h"
#include "seal/online_match.h"

namespace melvorin::window {

// An announcement with the hardware address of a sealed join's unit but
// without the join's tag: dropped as a bad datagram is.
using EForgedOnline = TFixedError<"EForgedOnline", "An online announcement without the sealed join's tag">;

class TOnlineWatch {
public:
    // A join went to `unit` (a clear one: no sender); it waits `wait` for
    // its result. A unit whose hardware address is unknown is not watched.
    void JoinSent(std::optional<seal::JoinedUnit> unit, std::chrono::milliseconds wait);
    // The join's result: accepted, the watch goes on for kAfterResult;
    // refused, it ends.
    void Answered(bool accepted);
    // The address ("192.168.1.57") the joined unit announces in `datagram`,
    // or nothing when it is no announcement of it or comes too late.
    // Raises EForgedOnline for a forged one.
    std::optional<std::string> Take(const TIdBytes& datagram);

    static constexpr std::chrono::milliseconds kAfterResult{60000};
    // Only tests change it.
    void SetAfterResult(std::chrono::milliseconds after) { after_ = after; }

private:
    std::optional<seal::JoinedUnit> unit_;
    std::chrono::steady_clock::time_point until_;
    std::chrono::milliseconds after_ = kAfterResult;
};

}  // namespace melvorin::window
