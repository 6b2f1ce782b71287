// The unit's sealed-join extension on its Mbed TLS filling: RFC 9180's
// vectors for the suite (key pairs from ikm, every encryption opened in
// sequence, every export), and messages sealed by the station's own code
// (libgcrypt) opened here: two implementations meeting; the online
// announcement after a sealed join, its tag checked by the station's code.
#include <gtest/gtest.h>

#include <string>

#include "hpke_vectors.h"
#include "mlvs_mbedtls.h"
#include "protocol/online.h"
#include "seal/hpke.h"
#include "seal/online_match.h"
#include "seal/online_tag.h"
#include "seal/sealed_join.h"

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

// The whole sealed join on the wire, then its announcement: tagged for the
// station that sealed it and no other, for these addresses alone; none after
// a refused join or once the announcements are over.
TEST_F(UnitSeal, AnnouncesOnlineTaggedForTheSealedJoinOnly) {
  Bytes sk(32), pk(65);
  ASSERT_EQ(mlvs_generate_keypair(&crypto_, sk.data(), pk.data()), 0);
  mlvs_unit unit{};
  unit.crypto = &crypto_;
  unit.sk = sk.data();
  unit.pk = pk.data();
  const std::uint8_t mac[6] = {0x02, 0x00, 0x00, 0x00, 0x41, 0x02};
  const std::uint8_t ipv4[4] = {10, 203, 0, 2};
  const Bytes token(MLVS_TOKEN_SIZE, 0x42);
  Bytes frame(MLVS_ONLINE_SIZE + 1, 0xEE);

  // Joins once with the verdicts given; the station's sealed join.
  auto join = [&](std::uint8_t key_verdict) {
    Bytes reply = {0xFF, 0x00, 0x02, 0x81, 0x00, 0x83};
    reply.resize(reply.size() + MLVS_ADVERT_SIZE);
    EXPECT_EQ(mlvs_advertise(&unit, reply.data(), 6, reply.size()), reply.size());
    const auto advert = melvorin::seal::FindAdvert(reply);
    EXPECT_TRUE(advert);
    auto sealed = melvorin::seal::BuildSealedJoin(*advert, Bytes{'H', 'o', 'm', 'e'}, Bytes(8, 'k'), token);
    EXPECT_TRUE(sealed);
    Bytes plain(sealed->frame.size());
    mlvs_join opened{};
    EXPECT_EQ(mlvs_open_join(&unit, sealed->frame.data(), sealed->frame.size(), plain.data(), plain.size(), &opened), 0);
    EXPECT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), frame.size()), 0u) << "before the result";
    Bytes result(MLVS_RESULT_SIZE);
    EXPECT_EQ(mlvs_join_result(&unit, 1, key_verdict, result.data(), result.size()), MLVS_RESULT_SIZE);
    EXPECT_TRUE(melvorin::seal::ResultIsTagged(sealed->sender, result));
    return std::move(sealed->sender);
  };

  const melvorin::seal::Sender station = join(1);
  EXPECT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), MLVS_ONLINE_SIZE - 1), 0u);
  ASSERT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), frame.size()), MLVS_ONLINE_SIZE);
  EXPECT_EQ(frame.back(), 0xEE);
  frame.pop_back();
  const auto online = melvorin::ParseOnline(frame);
  ASSERT_TRUE(online);
  EXPECT_TRUE(online->sealed);
  EXPECT_EQ(Bytes(online->mac.begin(), online->mac.end()), Bytes(mac, mac + 6));
  EXPECT_EQ(Bytes(online->ipv4.begin(), online->ipv4.end()), Bytes(ipv4, ipv4 + 4));
  EXPECT_EQ(Bytes(online->token.begin(), online->token.end()), token);
  EXPECT_TRUE(melvorin::seal::OnlineIsTagged(station, *online));
  auto moved = *online;
  moved.ipv4[3] ^= 1;
  EXPECT_FALSE(melvorin::seal::OnlineIsTagged(station, moved));
  auto clear = *online;
  clear.sealed = false;
  EXPECT_FALSE(melvorin::seal::OnlineIsTagged(station, clear));
  // As a station matches it to its join: the unit's hardware address, then
  // for a sealed join the token and the tag.
  using melvorin::seal::MatchOnline;
  using melvorin::seal::OnlineMatch;
  melvorin::seal::JoinedUnit joined{online->mac, station, online->token};
  EXPECT_EQ(MatchOnline(joined, *online), OnlineMatch::Ours);
  EXPECT_EQ(MatchOnline(joined, moved), OnlineMatch::Forged);
  EXPECT_EQ(MatchOnline(joined, clear), OnlineMatch::Forged);
  auto otherToken = *online;
  otherToken.token[0] ^= 1;
  EXPECT_EQ(MatchOnline(joined, otherToken), OnlineMatch::NotOurs);
  auto otherUnit = *online;
  otherUnit.mac[5] ^= 1;
  EXPECT_EQ(MatchOnline(joined, otherUnit), OnlineMatch::NotOurs);
  const melvorin::seal::JoinedUnit clearJoin{online->mac, std::nullopt, {}};
  EXPECT_EQ(MatchOnline(clearJoin, clear), OnlineMatch::Ours);
  EXPECT_EQ(MatchOnline(clearJoin, *online), OnlineMatch::NotOurs);

  // Another station's join, refused: its announcement is none, and the
  // first station's tag does not verify for the second join.
  const melvorin::seal::Sender other = join(0);
  frame.resize(MLVS_ONLINE_SIZE);
  EXPECT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), frame.size()), 0u);
  join(1);
  ASSERT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), frame.size()), MLVS_ONLINE_SIZE);
  EXPECT_FALSE(melvorin::seal::OnlineIsTagged(station, *melvorin::ParseOnline(frame)));
  EXPECT_FALSE(melvorin::seal::OnlineIsTagged(other, *melvorin::ParseOnline(frame)));
  mlvs_online_end(&unit);
  EXPECT_EQ(mlvs_online(&unit, mac, ipv4, frame.data(), frame.size()), 0u);
  EXPECT_EQ(Bytes(unit.token, unit.token + MLVS_TOKEN_SIZE), Bytes(MLVS_TOKEN_SIZE, 0));
}

}  // namespace
