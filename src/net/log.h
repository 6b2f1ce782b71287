#pragma once

// What the endpoint reports for a wire log: every datagram sent or received,
// and every error that is dropped on purpose. Silent unless a hook is set.

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/bytes.h"

namespace melvorin::net {

enum class TIdLogKind { Sent, Received, Dropped };

struct TIdLogEntry {
    TIdLogKind Kind = TIdLogKind::Sent;
    std::string Interface;     // interface name; "" when unknown
    std::string PeerIP;        // destination (Sent) or sender (Received)
    std::uint16_t PeerPort = 0;
    TIdBytes Data;             // the datagram (Sent, Received)
    std::string Message;       // Dropped: the error's kind and message
};

// Called on the thread where the event happens (the sender's thread for
// Sent, a listener's thread for Received and Dropped): must be thread-safe.
using TIdLogEvent = std::function<void(const TIdLogEntry& entry)>;

}  // namespace melvorin::net
