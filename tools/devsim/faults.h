#pragma once

// Faults of a unit's firmware, put on on purpose (--fault) so that the
// conformance check (melvorin-cli check) can be seen to find each one. A thin
// layer around the device's handling: on what it reads of a datagram and on
// the reply it sends, never inside it.

#include <optional>
#include <string>
#include <vector>

#include "protocol/bytes.h"

namespace melvorin::devsim {

enum class Fault {
    None,
    ListChecksum,    // list replies carry a wrong checksum
    ListCount,       // their count byte is one too high (checksum right)
    AnswersBadLead,  // a request is read whatever its lead byte
    ShortBuffer,     // only the first 256 bytes of a datagram are read
    NoJoinReply,     // join requests go unanswered
};

// Each fault's name on the command line, in the order above (None left out).
const std::vector<std::string>& FaultNames();
// The fault of a name; nothing for an unknown one.
std::optional<Fault> FaultNamed(const std::string& name);

// What the device reads of a received datagram.
TIdBytes Received(Fault fault, const TIdBytes& datagram);
// What it sends for the reply its handling built: nothing, or other bytes.
std::optional<TIdBytes> Sent(Fault fault, std::optional<TIdBytes> reply);

}  // namespace melvorin::devsim
