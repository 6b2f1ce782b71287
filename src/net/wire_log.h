#pragma once

// The wire log's lines, the same in the window and in melvorin-cli: one per
// datagram sent or received and per error dropped on purpose. The key of a
// join request is a secret: unless asked to show secrets, its bytes are
// written as their count only, and the checksum, a sum over them, is hidden
// with them.

#include <chrono>
#include <string>

#include "net/log.h"
#include "protocol/bytes.h"

namespace melvorin::net {

// UTC, to the millisecond: "2026-12-08T06:10:00.123Z".
std::string UtcTime(std::chrono::system_clock::time_point when);

// A datagram's bytes in hexadecimal, separated by spaces. In a join request
// (lead byte FF, command 02 at offset 3) everything after the first 0D 0A
// from offset 5 on is the key and the checksum:
// "ff 00 0e 02 00 41 42 0d 0a <key: 8 bytes> <checksum>". A network name
// holding 0D 0A itself makes more bytes hidden, never fewer.
std::string WireBytes(const TIdBytes& data, bool showSecrets);

// "2026-12-08T06:10:00.123Z sent wlan0 to 255.255.255.255:1902 5 bytes: ff 00 01 01 02",
// "... received lo from 127.0.0.1:1902 ...", "... dropped: <message>";
// "-" for an unknown interface. No line end.
std::string WireLogLine(const TIdLogEntry& entry, std::chrono::system_clock::time_point when, bool showSecrets);

}  // namespace melvorin::net
