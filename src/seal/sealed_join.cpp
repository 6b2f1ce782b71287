#include "seal/sealed_join.h"

#include <algorithm>
#include <string_view>

#include "protocol/frame.h"
#include "protocol/secret_bytes.h"

namespace melvorin::seal {
namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::string_view kJoinInfo = "melvorin sealed join";
constexpr std::string_view kResultLabel = "melvorin join result";


// Undoes the unit's stuffing (consistent overhead byte stuffing with 0x0D
// in the place of zero). Empty when the bytes are not such a run.
std::optional<Bytes> unstuff(View in) {
  Bytes out;
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t code = in[at] ^ kCr;
    if (code == 0 || at + code > in.size()) return std::nullopt;
    out.insert(out.end(), in.begin() + at + 1, in.begin() + at + code);
    at += code;
    if (at < in.size()) out.push_back(kCr);
  }
  return out;
}

Bytes result_context(std::uint8_t ssid_verdict, std::uint8_t key_verdict) {
  Bytes context(kResultLabel.begin(), kResultLabel.end());
  context.push_back(ssid_verdict);
  context.push_back(key_verdict);
  return context;
}

}  // namespace

std::optional<Advert> FindAdvert(View reply) {
  if (reply.size() < 6) return std::nullopt;
  std::size_t start = 5;
  for (std::size_t p = 1; p + 1 < reply.size(); ++p) {
    if (reply[p - 1] == kCr && reply[p] == kLf) start = p + 1;
  }
  if (start >= reply.size() - 1) return std::nullopt;
  const View tail = reply.subspan(start, reply.size() - 1 - start);
  if (tail.size() != kAdvertSize || tail[0] != kAdvertMarker) return std::nullopt;
  if (std::find(tail.begin(), tail.end(), kCr) != tail.end()) return std::nullopt;
  const auto body = unstuff(tail.subspan(1));
  const std::uint8_t suite[] = {kVersion, kKemId >> 8, kKemId & 0xff, kKdfId >> 8, kKdfId & 0xff, kAeadId >> 8,
                                kAeadId & 0xff};
  if (!body || body->size() != sizeof suite + kPublicKeySize + kNonceSize ||
      !std::equal(std::begin(suite), std::end(suite), body->begin())) {
    return std::nullopt;
  }
  Advert advert;
  advert.public_key.assign(body->begin() + sizeof suite, body->begin() + sizeof suite + kPublicKeySize);
  std::copy(body->end() - kNonceSize, body->end(), advert.nonce.begin());
  return advert;
}

std::optional<SealedJoin> BuildSealedJoin(const Advert& advert, View ssid, View key, View token) {
  if (ssid.empty() || ssid.size() + key.size() > kMaxSsidAndKey || token.size() != kTokenSize) return std::nullopt;
  Bytes info(kJoinInfo.begin(), kJoinInfo.end());
  info.insert(info.end(), advert.nonce.begin(), advert.nonce.end());
  auto sender = Sender::setup(advert.public_key, info);
  if (!sender) return std::nullopt;
  const std::size_t n = kJoinOverhead + ssid.size() + key.size();
  Bytes frame{kLeadByte, 0x00, static_cast<std::uint8_t>(n - 4), kSealedJoin, kVersion};
  frame.insert(frame.end(), advert.nonce.begin(), advert.nonce.end());
  // It holds the key: in storage taken once, wiped when it goes, sealed or
  // thrown past.
  SecretBytes plain;
  plain.reserve(2 + ssid.size() + key.size() + token.size());
  plain.push_back(static_cast<std::uint8_t>(ssid.size()));
  plain.insert(plain.end(), ssid.begin(), ssid.end());
  plain.push_back(static_cast<std::uint8_t>(key.size()));
  plain.insert(plain.end(), key.begin(), key.end());
  plain.insert(plain.end(), token.begin(), token.end());
  // The header, version and nonce (all of the frame before enc) are bound in.
  const Bytes sealed = sender->seal(frame, plain);
  frame.insert(frame.end(), sender->enc().begin(), sender->enc().end());
  frame.insert(frame.end(), sealed.begin(), sealed.end());
  frame.push_back(CalcChecksum(frame.data() + 1, static_cast<int>(frame.size() - 1)));
  return SealedJoin{std::move(frame), std::move(*sender)};
}

std::optional<SealedJoin> BuildSealedJoin(const Advert& advert, View ssid, View key) {
  return BuildSealedJoin(advert, ssid, key, RandomBytes(kTokenSize));
}

bool ResultIsTagged(const Sender& sender, View result) {
  if (result.size() != 6 + kTagSize + 1 || result[3] != JoinResult) return false;
  const Bytes tag = sender.export_secret(result_context(result[4], result[5]), kTagSize);
  return std::equal(tag.begin(), tag.end(), result.begin() + 6);
}

}  // namespace melvorin::seal
