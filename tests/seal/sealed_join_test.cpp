// The sealed join between the unit library (device/, its Mbed TLS filling)
// and the station's code: a station of the protocol alone reads the same
// records from a list reply with the advertisement, the unit opens the
// longest sealed join once only, and the result's tag holds for its verdicts.
#include "seal/sealed_join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fakes.h"
#include "melvorin_device.h"
#include "mlvs_mbedtls.h"
#include "protocol/frame.h"
#include "protocol/state.h"

namespace melvorin::seal {
namespace {

struct Net {
  std::string ssid;
  std::uint8_t signal;
};
// SSIDs ending in 0x0D, a count byte of 13 before them: bytes a careless
// advertisement could pair with.
const std::vector<Net> kNets = {{"home\r", 90}, {"caf\xe9", 60}, {"x", 13}, {"lab\r", 10}};

int networks(void* user, unsigned index, mlvd_network* out) {
  const auto& nets = *static_cast<const std::vector<Net>*>(user);
  if (index >= nets.size()) return 0;
  out->ssid = reinterpret_cast<const std::uint8_t*>(nets[index].ssid.data());
  out->ssid_len = static_cast<std::uint8_t>(nets[index].ssid.size());
  out->signal = nets[index].signal;
  out->open = 0;
  return 1;
}

class SealedJoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mlvs_mbedtls_init(&state_, &crypto_), 0);
    ASSERT_EQ(mlvs_generate_keypair(&crypto_, sk_, pk_), 0);
    unit_.crypto = &crypto_;
    unit_.sk = sk_;
    unit_.pk = pk_;
    mlvd_init(&device_, &callbacks_, const_cast<std::vector<Net>*>(&kNets));
  }
  void TearDown() override { mlvs_mbedtls_free(&state_); }

  Bytes list_reply(bool advertise) {
    Bytes reply(259);
    const std::uint8_t scan[] = {0xFF, 0x00, 0x01, 0x01, 0x02};
    std::size_t n = mlvd_handle(&device_, scan, sizeof scan, 1, reply.data(), reply.size() - kAdvertSize);
    if (advertise) n = mlvs_advertise(&unit_, reply.data(), n, reply.size());
    reply.resize(n);
    return reply;
  }
  std::pair<std::vector<testing::FakeSsidList::Row>, std::vector<TIdBytes>> station_reads(const Bytes& reply) {
    testing::FakeSsidList list;
    testing::FakeNotice notice;
    EXPECT_EQ(HandleDatagram(reply, list, notice), TDatagramKind::ListReply);
    auto table = State().SsidTable;
    ReleaseState();
    return {list.rows, table};
  }

  mlvs_mbedtls state_{};
  mlvs_crypto crypto_{};
  std::uint8_t sk_[32]{}, pk_[65]{};
  mlvs_unit unit_{};
  mlvd_callbacks callbacks_{networks, nullptr, nullptr};
  mlvd_device device_{};
};

TEST_F(SealedJoinTest, AStationOfTheProtocolSeesTheSameRecords) {
  const Bytes clear = list_reply(false);
  const auto before = station_reads(clear);
  ASSERT_EQ(before.first.size(), kNets.size());
  // Fresh nonces every time: no run of them may pair 0x0D with 0x0A.
  for (int i = 0; i < 300; ++i) {
    const Bytes sealed = list_reply(true);
    ASSERT_EQ(sealed.size(), clear.size() + kAdvertSize);
    ASSERT_EQ(station_reads(sealed), before) << i;
    const auto advert = FindAdvert(sealed);
    ASSERT_TRUE(advert);
    EXPECT_EQ(advert->public_key, Bytes(pk_, pk_ + 65));
    EXPECT_EQ(Bytes(advert->nonce.begin(), advert->nonce.end()),
              Bytes(unit_.nonces[(unit_.next + MLVS_NONCES - 1) % MLVS_NONCES],
                    unit_.nonces[(unit_.next + MLVS_NONCES - 1) % MLVS_NONCES] + kNonceSize));
  }
  EXPECT_FALSE(FindAdvert(clear));
}

TEST_F(SealedJoinTest, TheUnitOpensTheLongestJoinOnceAndTagsItsResult) {
  const auto advert = FindAdvert(list_reply(true));
  ASSERT_TRUE(advert);
  const Bytes ssid(32, 'S');
  const Bytes token(kTokenSize, 0x7E);
  Bytes key(kMaxSsidAndKey - ssid.size(), 'k');
  key[0] = 0x0D;
  key[1] = 0x0A;
  EXPECT_FALSE(BuildSealedJoin(*advert, ssid, Bytes(key.size() + 1, 'k'), token));
  auto join = BuildSealedJoin(*advert, ssid, key, token);
  ASSERT_TRUE(join);
  ASSERT_EQ(join->frame.size(), 259u);
  EXPECT_EQ(std::search(join->frame.begin(), join->frame.end(), key.begin() + 2, key.begin() + 10), join->frame.end());

  Bytes plain(join->frame.size());
  mlvs_join opened{};
  ASSERT_EQ(mlvs_open_join(&unit_, join->frame.data(), join->frame.size(), plain.data(), plain.size(), &opened), 0);
  EXPECT_EQ(Bytes(opened.ssid, opened.ssid + opened.ssid_len), ssid);
  EXPECT_EQ(Bytes(opened.key, opened.key + opened.key_len), key);
  EXPECT_EQ(Bytes(opened.token, opened.token + kTokenSize), token);

  Bytes result(MLVS_RESULT_SIZE);
  ASSERT_EQ(mlvs_join_result(&unit_, 1, 1, result.data(), result.size()), MLVS_RESULT_SIZE);
  EXPECT_TRUE(ResultIsTagged(join->sender, result));
  testing::FakeSsidList list;
  testing::FakeNotice notice;
  EXPECT_EQ(HandleDatagram(result, list, notice), TDatagramKind::JoinResult);
  EXPECT_EQ(notice.verdicts, std::vector<JoinVerdict>{JoinVerdict::Accepted});
  Bytes forged = result;
  forged[4] = 0x00;
  forged.back() = CalcChecksum(forged.data() + 1, static_cast<int>(forged.size() - 2));
  EXPECT_FALSE(ResultIsTagged(join->sender, forged));

  // The same frame again: the nonce is spent.
  EXPECT_NE(mlvs_open_join(&unit_, join->frame.data(), join->frame.size(), plain.data(), plain.size(), &opened), 0);
  // A bent byte of the bound header, with a checksum that holds.
  auto second = BuildSealedJoin(*FindAdvert(list_reply(true)), ssid, key, token);
  ASSERT_TRUE(second);
  second->frame[1] = 0x01;
  second->frame.back() = CalcChecksum(second->frame.data() + 1, static_cast<int>(second->frame.size() - 2));
  EXPECT_NE(mlvs_open_join(&unit_, second->frame.data(), second->frame.size(), plain.data(), plain.size(), &opened),
            0);
}

}  // namespace
}  // namespace melvorin::seal
