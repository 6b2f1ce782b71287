#pragma once

// The one thing the exchanges need from the transport: sending a datagram.
// The UDP endpoint implements it; tests use recording fakes.

#include <cstdint>
#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// The endpoint's send operation. Failures are raised as melvorin::Exception.
class IDatagramSender {
public:
    virtual ~IDatagramSender() = default;
    virtual void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) = 0;
};

}  // namespace melvorin
