#pragma once

#include <cstdint>
#include <string>

#include "protocol/bytes.h"
#include "protocol/ports.h"
#include "protocol/sender.h"
#include "protocol/widgets.h"

namespace melvorin {

inline constexpr const char* kBroadcastHost = "255.255.255.255";

// Text to signed 32-bit integer: leading spaces, optional sign, decimal or
// hexadecimal after "$", "x", "X", "0x", "0X", nothing after the digits.
// Raises EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

// A search port taken as unsigned 32-bit must not exceed 65535 (so no
// negative value passes). Raises ERangeError.
std::uint16_t CheckedSearchPort(std::int32_t port);

// The five bytes FF 00 01 01 02.
TIdBytes BuildScanRequest();

// btnSearchClick / FormCreate: store the port, range-check it, broadcast the
// scan request.
void Scan(const std::string& searchPortText, IDatagramSender& sender);

// An accepted datagram with command 0x81: rebuild the list and the table.
// Raises when a record is malformed; rows added before it stay.
void HandleListReply(const TIdBytes& data, ISsidList& list);

}  // namespace melvorin
