// The station's HPKE against RFC 9180's vectors for the sealed join's suite:
// the ephemeral key from the vectors' ikmE, every encryption in sequence
// (skipped sequence numbers sealed and dropped) and every export.
#include "seal/hpke.h"

#include <gtest/gtest.h>

#include <string>

#include "hpke_vectors.h"

namespace melvorin::seal {
namespace {

TEST(Hpke, SenderMeetsTheRfcVectors) {
  const auto v = test::read_hpke_vectors(MELVORIN_HPKE_VECTORS);
  ASSERT_EQ(v.encryptions.size(), 6u);
  ASSERT_EQ(v.exports.size(), 3u);
  auto sender = Sender::setup(v.setup.at("pkRm"), v.setup.at("info"), v.setup.at("ikmE"));
  ASSERT_TRUE(sender);
  EXPECT_EQ(sender->enc(), v.setup.at("enc"));
  unsigned long next = 0;
  for (const auto& e : v.encryptions) {
    const auto& number = e.at("sequence number");
    const unsigned long wanted = std::stoul(std::string(number.begin(), number.end()));
    for (; next < wanted; ++next) sender->seal({}, {});
    EXPECT_EQ(sender->seal(e.at("aad"), e.at("pt")), e.at("ct")) << "sequence number " << wanted;
    ++next;
  }
  for (const auto& x : v.exports) {
    EXPECT_EQ(sender->export_secret(x.at("exporter_context"), 32), x.at("exported_value"));
  }
}

TEST(Hpke, RefusesAKeyOffTheCurve) {
  const auto v = test::read_hpke_vectors(MELVORIN_HPKE_VECTORS);
  Bytes bent = v.setup.at("pkRm");
  bent[64] ^= 0x01;
  EXPECT_FALSE(Sender::setup(bent, {}));
  EXPECT_FALSE(Sender::setup(View(bent).first(33), {}));
  // Two fresh senders to the same key share nothing on the wire.
  auto a = Sender::setup(v.setup.at("pkRm"), {});
  auto b = Sender::setup(v.setup.at("pkRm"), {});
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->enc(), b->enc());
}

}  // namespace
}  // namespace melvorin::seal
