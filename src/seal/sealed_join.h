// The sealed join's frames on the station (docs/sealed-join.md): the
// advertisement a unit appends to its list reply, the sealed join request
// (command 0x03) and the tag in a sealed unit's join result.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "seal/hpke.h"

namespace melvorin::seal {

inline constexpr std::uint8_t kSealedJoin = 0x03;
inline constexpr std::uint8_t kAdvertMarker = 0x53;
inline constexpr std::uint8_t kVersion = 0x01;
inline constexpr std::size_t kAdvertSize = 90;
inline constexpr std::size_t kNonceSize = 16;
inline constexpr std::size_t kTokenSize = 16;
inline constexpr std::size_t kJoinOverhead = 121;       // frame bytes beside SSID and key
inline constexpr std::size_t kMaxSsidAndKey = 259 - kJoinOverhead;

struct Advert {
  Bytes public_key;  // uncompressed P-256, 65 bytes
  std::array<std::uint8_t, kNonceSize> nonce{};
};

// The advertisement of a list reply (a whole accepted datagram): the bytes
// after its last 0x0D 0x0A (after offset 4 when it has none) up to the
// checksum. Empty when there is none or it is not one of this version.
std::optional<Advert> FindAdvert(View list_reply);

struct SealedJoin {
  Bytes frame;
  Sender sender;  // for the result's tag
};

// The sealed join to the unit of `advert`. Empty when the unit's key is no
// P-256 point or the SSID is empty or SSID and key exceed kMaxSsidAndKey.
std::optional<SealedJoin> BuildSealedJoin(const Advert& advert, View ssid, View key, View token);
// The same with a fresh random token: what a station sends.
std::optional<SealedJoin> BuildSealedJoin(const Advert& advert, View ssid, View key);

// Whether a join result carries the tag of this sealed join for its verdicts.
bool ResultIsTagged(const Sender& sender, View result);

}  // namespace melvorin::seal
