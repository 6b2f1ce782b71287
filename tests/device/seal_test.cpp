// The unit's sealed-join extension on its Mbed TLS filling: RFC 9180's
// vectors for the suite (key pairs from ikm, every encryption opened in
// sequence, every export), and messages sealed by the station's own code
// (libgcrypt) opened here: two implementations meeting.
#include <gtest/gtest.h>

#include <string>

#include "hpke_vectors.h"
#include "mlvs_mbedtls.h"
#include "seal/hpke.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class UnitSeal : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mlvs_mbedtls_init(&state_, &crypto_), 0); }
  void TearDown() override { mlvs_mbedtls_free(&state_); }
  mlvs_mbedtls state_{};
  mlvs_crypto crypto_{};
  melvorin::test::HpkeVectors v_ = melvorin::test::read_hpke_vectors(MELVORIN_HPKE_VECTORS);
};

TEST_F(UnitSeal, RecipientMeetsTheRfcVectors) {
  Bytes sk(32), pk(65);
  ASSERT_EQ(mlvs_derive_keypair(&crypto_, v_.setup.at("ikmE").data(), 32, sk.data(), pk.data()), 0);
  EXPECT_EQ(sk, v_.setup.at("skEm"));
  EXPECT_EQ(pk, v_.setup.at("pkEm"));
  ASSERT_EQ(mlvs_derive_keypair(&crypto_, v_.setup.at("ikmR").data(), 32, sk.data(), pk.data()), 0);
  EXPECT_EQ(sk, v_.setup.at("skRm"));
  EXPECT_EQ(pk, v_.setup.at("pkRm"));

  const Bytes& info = v_.setup.at("info");
  mlvs_context context;
  ASSERT_EQ(mlvs_setup_recipient(&crypto_, v_.setup.at("enc").data(), sk.data(), pk.data(), info.data(), info.size(),
                                 &context), 0);
  EXPECT_EQ(Bytes(context.key, context.key + 16), v_.setup.at("key"));
  EXPECT_EQ(Bytes(context.base_nonce, context.base_nonce + 12), v_.setup.at("base_nonce"));
  for (const auto& e : v_.encryptions) {
    const auto& number = e.at("sequence number");
    context.sequence = static_cast<std::uint32_t>(std::stoul(std::string(number.begin(), number.end())));
    const Bytes& ct = e.at("ct");
    Bytes pt(ct.size() - MLVS_TAG_SIZE);
    ASSERT_EQ(mlvs_open(&crypto_, &context, e.at("aad").data(), e.at("aad").size(), ct.data(), ct.size(), pt.data()),
              0);
    EXPECT_EQ(pt, e.at("pt"));
    // The same ciphertext again is the next sequence number's: refused.
    EXPECT_NE(mlvs_open(&crypto_, &context, e.at("aad").data(), e.at("aad").size(), ct.data(), ct.size(), pt.data()),
              0);
  }
  for (const auto& x : v_.exports) {
    Bytes out(32);
    const Bytes& c = x.at("exporter_context");
    ASSERT_EQ(mlvs_export(&crypto_, &context, c.data(), c.size(), out.data(), out.size()), 0);
    EXPECT_EQ(out, x.at("exported_value"));
  }
}

TEST_F(UnitSeal, OpensWhatTheStationSealsAndNothingBent) {
  Bytes sk(32), pk(65);
  ASSERT_EQ(mlvs_generate_keypair(&crypto_, sk.data(), pk.data()), 0);
  const Bytes info = {'j', 'o', 'i', 'n', 1, 2, 3};
  const Bytes aad = {0xFF, 0x00, 0x99, 0x03};
  const Bytes secret = {'h', 'o', 'm', 'e', 0x0D, 0x0A, 'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
  auto station = melvorin::seal::Sender::setup(pk, info);
  ASSERT_TRUE(station);
  Bytes ct = station->seal(aad, secret);

  auto open = [&](const Bytes& enc, const Bytes& with_info, const Bytes& with_aad, const Bytes& sealed) {
    mlvs_context context;
    Bytes pt(sealed.size() - MLVS_TAG_SIZE);
    if (mlvs_setup_recipient(&crypto_, enc.data(), sk.data(), pk.data(), with_info.data(), with_info.size(),
                             &context) != 0 ||
        mlvs_open(&crypto_, &context, with_aad.data(), with_aad.size(), sealed.data(), sealed.size(), pt.data()) != 0) {
      return std::optional<Bytes>();
    }
    Bytes exported(32);
    EXPECT_EQ(mlvs_export(&crypto_, &context, info.data(), 4, exported.data(), exported.size()), 0);
    EXPECT_EQ(exported, station->export_secret(melvorin::seal::View(info).first(4), 32));
    return std::optional<Bytes>(pt);
  };
  EXPECT_EQ(open(station->enc(), info, aad, ct), secret);
  Bytes other_info = info;
  other_info.back() ^= 1;
  EXPECT_FALSE(open(station->enc(), other_info, aad, ct));
  Bytes other_aad = aad;
  other_aad[2] ^= 1;
  EXPECT_FALSE(open(station->enc(), info, other_aad, ct));
  Bytes bent = ct;
  bent[3] ^= 0x40;
  EXPECT_FALSE(open(station->enc(), info, aad, bent));
  Bytes off_curve = station->enc();
  off_curve[64] ^= 1;
  EXPECT_FALSE(open(off_curve, info, aad, ct));
}

}  // namespace
