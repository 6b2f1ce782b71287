// The station's half of the sealed join: HPKE (RFC 9180) in base mode with
// the one suite Melvorin uses, DHKEM(P-256, HKDF-SHA256) / HKDF-SHA256 /
// AES-128-GCM, sender side only. The primitives are libgcrypt's (hpke.cpp);
// nothing above this header sees that library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace melvorin::seal {

inline constexpr std::size_t kPublicKeySize = 65;  // uncompressed P-256 point
inline constexpr std::size_t kEncSize = 65;        // the ephemeral public key
inline constexpr std::size_t kTagSize = 16;        // AES-128-GCM
inline constexpr std::uint16_t kKemId = 0x0010;
inline constexpr std::uint16_t kKdfId = 0x0001;
inline constexpr std::uint16_t kAeadId = 0x0001;

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

// An HPKE sender context (RFC 9180, 5.1): made once per message to one
// recipient, then Seal in sequence and Export.
class Sender {
 public:
  // SetupBaseS to the recipient's uncompressed P-256 key. The ephemeral key
  // comes from DeriveKeyPair(ikmE): fresh random bytes when `ikmE` is empty
  // (always, outside tests). Empty when the key is no point of the curve.
  static std::optional<Sender> setup(View recipient_key, View info, View ikmE = {});

  const Bytes& enc() const { return enc_; }
  // The ciphertext with its tag appended (pt.size() + kTagSize bytes).
  Bytes seal(View aad, View plaintext);
  Bytes export_secret(View exporter_context, std::size_t length) const;

 private:
  Sender() = default;
  Bytes enc_;
  std::array<std::uint8_t, 16> key_{};
  std::array<std::uint8_t, 12> base_nonce_{};
  std::array<std::uint8_t, 32> exporter_secret_{};
  std::uint64_t sequence_ = 0;
};

// `count` fresh random bytes from the library's strong generator.
Bytes RandomBytes(std::size_t count);

}  // namespace melvorin::seal
