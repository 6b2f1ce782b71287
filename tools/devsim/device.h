#pragma once

// The simulated device's side of the provisioning protocol, free of sockets:
// a datagram in, at most one reply out, worked out by the unit's library
// (device/, melvorin_device.h) as a firmware would. The program around it
// (main.cpp) does the sockets, options and signals.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/bytes.h"
#include "protocol/hex.h"

namespace melvorin::devsim {

// One wireless network that the device "sees".
struct Network {
    TIdBytes ssid;               // bytes as sent in the list reply
    std::uint8_t strength = 0;   // shown by the tool as a percentage
};

struct DeviceConfig {
    std::vector<Network> networks;
    // The one key accepted, as bytes; without it any key of 8 to 63 bytes is.
    std::optional<TIdBytes> key;
};

// Limits of a list reply that the tool reads back record for record.
inline constexpr std::size_t kMaxReplySize = 8192;
inline constexpr std::size_t kMaxNetworks = 255;   // the record count is one byte
inline constexpr std::size_t kMaxSsidLength = 255; // a record's SSID, as the library takes it
inline constexpr std::size_t kMinKeyLength = 8;
inline constexpr std::size_t kMaxKeyLength = 63;

// Empty when the tool would read every network of `config` back exactly as
// given; else the reason why not (an empty SSID, one over kMaxSsidLength
// bytes, a zero byte or a line break in one, too many networks, a reply too
// large).
std::string ConfigProblem(const DeviceConfig& config);

// FF 00 <len> 81 <count> then <SSID> 00 <strength> 0D 0A per network, and the
// checksum. The length byte holds n - 4, or 255 when that does not fit.
TIdBytes BuildListReply(const DeviceConfig& config);

// FF 00 03 82 <ssid verdict> <key verdict> <checksum>.
TIdBytes BuildJoinResult(bool ssidAccepted, bool keyAccepted);

// A request as the device reads it.
enum class RequestKind { Scan, Join };
struct Request {
    RequestKind kind = RequestKind::Scan;
    TIdBytes ssid;  // join only
    TIdBytes key;   // join only
};

// Reads a datagram: at most 259 bytes, lead byte 0xFF, the length byte n - 4,
// checksum over offsets 1..n-2, command 0x01 (a scan) or 0x02 with the
// payload 00 <SSID> 0D 0A <key>, where the SSID ends at the first 0D 0A.
// Anything else gives nothing.
std::optional<Request> ParseRequest(const TIdBytes& datagram);

bool SsidAccepted(const DeviceConfig& config, const TIdBytes& ssid);
bool KeyAccepted(const DeviceConfig& config, const TIdBytes& key);

// The reply to one received datagram (the one ParseRequest reads), or nothing
// when it is not a valid request. Never throws for any datagram but
// std::bad_alloc.
std::optional<TIdBytes> HandleRequest(const TIdBytes& datagram, const DeviceConfig& config);


}  // namespace melvorin::devsim
