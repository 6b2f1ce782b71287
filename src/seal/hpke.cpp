// HPKE's sender side on libgcrypt. libgcrypt 1.10 has no HKDF, so
// LabeledExtract and LabeledExpand are RFC 5869's two HMAC-SHA256 steps;
// P-256 ECDH is gcry_pk_encrypt with the scalar as raw data, which returns
// the shared point (s) and the scalar times the base point (e) at once.
#include "seal/hpke.h"

#include "seal/library.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace melvorin::seal {
namespace {

constexpr std::size_t kHashSize = 32;
constexpr std::size_t kScalarSize = 32;
// The order of P-256's base point, for DeriveKeyPair's range test.
constexpr std::array<std::uint8_t, kScalarSize> kOrder = {
    0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17, 0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};
constexpr std::uint8_t kKemSuite[] = {'K', 'E', 'M', kKemId >> 8, kKemId & 0xff};
constexpr std::uint8_t kHpkeSuite[] = {'H', 'P', 'K', 'E', kKemId >> 8, kKemId & 0xff, kKdfId >> 8,
                                       kKdfId & 0xff, kAeadId >> 8, kAeadId & 0xff};
using Hash = std::array<std::uint8_t, kHashSize>;

}  // namespace

void StartLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    RouteLibraryLog();
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) {
      throw std::runtime_error("libgcrypt is older than the one built against");
    }
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

namespace {

void check(gcry_error_t error, const char* what) {
  if (error != 0) {
    throw std::runtime_error(std::string(what) + ": " + gcry_strerror(error));
  }
}

View text(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

Hash hmac(View key, std::initializer_list<View> parts) {
  // RFC 5869: an absent salt is HashLen zero bytes.
  static constexpr Hash zeros{};
  if (key.empty()) key = zeros;
  gcry_md_hd_t handle = nullptr;
  check(gcry_md_open(&handle, GCRY_MD_SHA256, GCRY_MD_FLAG_HMAC), "HMAC-SHA256");
  std::unique_ptr<gcry_md_handle, void (*)(gcry_md_hd_t)> owner(handle, gcry_md_close);
  check(gcry_md_setkey(handle, key.data(), key.size()), "HMAC key");
  for (View part : parts) gcry_md_write(handle, part.data(), part.size());
  Hash out;
  std::memcpy(out.data(), gcry_md_read(handle, GCRY_MD_SHA256), out.size());
  return out;
}

Hash labeled_extract(View suite, View salt, std::string_view label, View ikm) {
  return hmac(salt, {text("HPKE-v1"), suite, text(label), ikm});
}

Bytes labeled_expand(View suite, View prk, std::string_view label, View info, std::size_t length) {
  if (length > 255 * kHashSize || length > 0xffff) throw std::invalid_argument("HKDF-Expand: length too large");
  const std::uint8_t prefix[2] = {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  Bytes out;
  Hash block{};
  for (std::uint8_t i = 1; out.size() < length; ++i) {
    const View previous = i == 1 ? View{} : View{block};
    block = hmac(prk, {previous, prefix, text("HPKE-v1"), suite, text(label), info, View(&i, 1)});
    out.insert(out.end(), block.begin(), block.begin() + std::min(kHashSize, length - out.size()));
  }
  return out;
}

struct Exchange {
  Bytes shared;  // the x coordinate of sk times the peer's point
  Bytes own;     // sk times the base point, uncompressed
};

Bytes token(gcry_sexp_t result, const char* name) {
  gcry_sexp_t found = gcry_sexp_find_token(result, name, 0);
  if (found == nullptr) throw std::runtime_error("ECDH: no result");
  std::size_t size = 0;
  const char* data = gcry_sexp_nth_data(found, 1, &size);
  Bytes out(data, data + size);
  gcry_sexp_release(found);
  if (out.size() != kPublicKeySize || out[0] != 0x04) throw std::runtime_error("ECDH: unexpected point");
  return out;
}

// gcry_pk_encrypt multiplies whatever point it is given.
bool on_curve(gcry_sexp_t key) {
  gcry_ctx_t context = nullptr;
  if (gcry_mpi_ec_new(&context, key, nullptr) != 0) return false;
  gcry_mpi_point_t q = gcry_mpi_ec_get_point("q", context, 0);
  const bool ok = q != nullptr && gcry_mpi_ec_curve_point(q, context) != 0;
  gcry_mpi_point_release(q);
  gcry_ctx_release(context);
  return ok;
}

std::optional<Exchange> exchange(View scalar, View peer) {
  if (peer.size() != kPublicKeySize || peer[0] != 0x04) return std::nullopt;
  gcry_mpi_t k = nullptr;
  check(gcry_mpi_scan(&k, GCRYMPI_FMT_USG, scalar.data(), scalar.size(), nullptr), "scalar");
  gcry_sexp_t key = nullptr, data = nullptr, result = nullptr;
  gcry_error_t error = gcry_sexp_build(&key, nullptr, "(public-key (ecc (curve \"NIST P-256\") (q %b)))",
                                       static_cast<int>(peer.size()), peer.data());
  if (error == 0 && !on_curve(key)) error = GPG_ERR_INV_OBJ;
  if (error == 0) error = gcry_sexp_build(&data, nullptr, "(data (flags raw) (value %m))", k);
  if (error == 0) error = gcry_pk_encrypt(&result, data, key);
  gcry_mpi_release(k);
  gcry_sexp_release(key);
  gcry_sexp_release(data);
  if (error != 0) return std::nullopt;  // the peer's key is no point of the curve
  std::unique_ptr<gcry_sexp, void (*)(gcry_sexp_t)> owner(result, gcry_sexp_release);
  Bytes shared = token(result, "s");
  return Exchange{Bytes(shared.begin() + 1, shared.begin() + 1 + kScalarSize), token(result, "e")};
}

// RFC 9180, 7.1.3: the candidate scalars from ikm, the first in [1, n-1].
Bytes derive_scalar(View ikm) {
  const Hash prk = labeled_extract(kKemSuite, {}, "dkp_prk", ikm);
  for (unsigned counter = 0; counter <= 255; ++counter) {
    const std::uint8_t c = static_cast<std::uint8_t>(counter);
    Bytes sk = labeled_expand(kKemSuite, prk, "candidate", View(&c, 1), kScalarSize);
    const bool zero = std::all_of(sk.begin(), sk.end(), [](std::uint8_t b) { return b == 0; });
    if (!zero && std::lexicographical_compare(sk.begin(), sk.end(), kOrder.begin(), kOrder.end())) return sk;
  }
  throw std::runtime_error("DeriveKeyPair: no valid scalar");
}

}  // namespace

Bytes RandomBytes(std::size_t count) {
  StartLibrary();
  Bytes bytes(count);
  gcry_randomize(bytes.data(), bytes.size(), GCRY_STRONG_RANDOM);
  return bytes;
}

std::optional<Sender> Sender::setup(View recipient_key, View info, View ikmE) {
  StartLibrary();
  std::array<std::uint8_t, kScalarSize> fresh{};
  if (ikmE.empty()) {
    gcry_randomize(fresh.data(), fresh.size(), GCRY_STRONG_RANDOM);
    ikmE = fresh;
  }
  const Bytes skE = derive_scalar(ikmE);
  std::optional<Exchange> dh = exchange(skE, recipient_key);
  if (!dh) return std::nullopt;
  // Encap: the shared secret over enc || pkRm.
  Sender sender;
  sender.enc_ = dh->own;
  Bytes kem_context = dh->own;
  kem_context.insert(kem_context.end(), recipient_key.begin(), recipient_key.end());
  const Hash eae_prk = labeled_extract(kKemSuite, {}, "eae_prk", dh->shared);
  const Bytes shared_secret = labeled_expand(kKemSuite, eae_prk, "shared_secret", kem_context, kHashSize);
  // KeySchedule in base mode: no PSK, no PSK id.
  const Hash psk_id_hash = labeled_extract(kHpkeSuite, {}, "psk_id_hash", {});
  const Hash info_hash = labeled_extract(kHpkeSuite, {}, "info_hash", info);
  Bytes context{0x00};
  context.insert(context.end(), psk_id_hash.begin(), psk_id_hash.end());
  context.insert(context.end(), info_hash.begin(), info_hash.end());
  const Hash secret = labeled_extract(kHpkeSuite, shared_secret, "secret", {});
  const Bytes key = labeled_expand(kHpkeSuite, secret, "key", context, sender.key_.size());
  const Bytes nonce = labeled_expand(kHpkeSuite, secret, "base_nonce", context, sender.base_nonce_.size());
  const Bytes exporter = labeled_expand(kHpkeSuite, secret, "exp", context, sender.exporter_secret_.size());
  std::copy(key.begin(), key.end(), sender.key_.begin());
  std::copy(nonce.begin(), nonce.end(), sender.base_nonce_.begin());
  std::copy(exporter.begin(), exporter.end(), sender.exporter_secret_.begin());
  return sender;
}

Bytes Sender::seal(View aad, View plaintext) {
  std::array<std::uint8_t, 12> nonce = base_nonce_;
  for (std::size_t i = 0; i < 8; ++i) nonce[nonce.size() - 1 - i] ^= static_cast<std::uint8_t>(sequence_ >> (8 * i));
  gcry_cipher_hd_t cipher = nullptr;
  check(gcry_cipher_open(&cipher, GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_GCM, 0), "AES-128-GCM");
  std::unique_ptr<gcry_cipher_handle, void (*)(gcry_cipher_hd_t)> owner(cipher, gcry_cipher_close);
  check(gcry_cipher_setkey(cipher, key_.data(), key_.size()), "AES-128-GCM key");
  check(gcry_cipher_setiv(cipher, nonce.data(), nonce.size()), "AES-128-GCM nonce");
  check(gcry_cipher_authenticate(cipher, aad.data(), aad.size()), "AES-128-GCM aad");
  Bytes out(plaintext.size() + kTagSize);
  check(gcry_cipher_encrypt(cipher, out.data(), plaintext.size(), plaintext.data(), plaintext.size()),
        "AES-128-GCM");
  check(gcry_cipher_gettag(cipher, out.data() + plaintext.size(), kTagSize), "AES-128-GCM tag");
  ++sequence_;
  return out;
}

Bytes Sender::export_secret(View exporter_context, std::size_t length) const {
  return labeled_expand(kHpkeSuite, exporter_secret_, "sec", exporter_context, length);
}

}  // namespace melvorin::seal
