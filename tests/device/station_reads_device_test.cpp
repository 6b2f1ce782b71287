// Every reply the device library builds, for random radios, buffers and
// requests, is read by the station's own protocol code (src/protocol) as
// exactly the networks and the verdict a plain model of the rules expects.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "fakes.h"
#include "melvorin_device.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "protocol/state.h"

namespace melvorin::testing {
namespace {

struct Net {
    TIdBytes ssid;
    std::uint8_t signal = 0;
    bool open = false;
};

struct Radio {
    std::vector<Net> nets;
    std::vector<std::pair<TIdBytes, TIdBytes>> joins;
};

int Networks(void* user, unsigned index, mlvd_network* out) {
    const Radio& radio = *static_cast<const Radio*>(user);
    if (index >= radio.nets.size()) return 0;
    const Net& net = radio.nets[index];
    *out = {net.ssid.data(), static_cast<std::uint8_t>(net.ssid.size()), net.signal, net.open ? std::uint8_t{1} : std::uint8_t{0}};
    return 1;
}

void Join(void* user, const std::uint8_t* ssid, std::size_t ssidLen, const std::uint8_t* key, std::size_t keyLen) {
    static_cast<Radio*>(user)->joins.emplace_back(TIdBytes(ssid, ssid + ssidLen), TIdBytes(key, key + keyLen));
}

// The station reads records by their 0D 0A ending, after the count byte.
bool Listable(const TIdBytes& ssid) {
    if (ssid.empty() || ssid[0] == 0x0A) return false;
    for (std::size_t i = 1; i < ssid.size(); ++i) {
        if (ssid[i - 1] == 0x0D && ssid[i] == 0x0A) return false;
    }
    return true;
}

// The strongest listable networks that fit (earlier first among equals),
// in the radio's order.
std::vector<const Net*> Expected(const Radio& radio, std::size_t capacity) {
    std::vector<std::size_t> ranked;
    for (std::size_t i = 0; i < radio.nets.size(); ++i) {
        if (Listable(radio.nets[i].ssid)) ranked.push_back(i);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [&](std::size_t a, std::size_t b) { return radio.nets[a].signal > radio.nets[b].signal; });
    std::size_t size = 6;
    std::size_t keep = 0;
    while (keep < ranked.size() && keep < 255 && size + radio.nets[ranked[keep]].ssid.size() + 4 <= capacity) {
        size += radio.nets[ranked[keep]].ssid.size() + 4;
        ++keep;
    }
    ranked.resize(keep);
    std::sort(ranked.begin(), ranked.end());
    std::vector<const Net*> out;
    for (std::size_t i : ranked) out.push_back(&radio.nets[i]);
    return out;
}

bool Wpa2Key(const TIdBytes& key) {
    if (key.size() == 64) return std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return std::isxdigit(b); });
    return key.size() >= 8 && key.size() <= 63 &&
           std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

class StationReadsDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseState();
        mlvd_init(&device_, &callbacks_, &radio_);
    }
    void TearDown() override { ReleaseState(); }

    TIdBytes Bytes(std::size_t length, bool breaks) {
        // Letters, code page 936 lead bytes, zero bytes, and now and then
        // the line breaks that make a network unlistable.
        static const std::uint8_t alphabet[] = {'a', 'Z', '7', ' ', 0xC4, 0xE3, 0x00, 0x0D, 0x0A};
        std::uniform_int_distribution<std::size_t> pick(0, breaks ? 8 : 5);
        TIdBytes out(length);
        for (std::uint8_t& b : out) b = alphabet[pick(random_)];
        return out;
    }
    std::size_t Uniform(std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(random_);
    }
    TIdBytes Handle(const TIdBytes& request, std::size_t capacity) {
        TIdBytes reply(capacity + 1, 0xEE);
        const std::size_t size = mlvd_handle(&device_, request.data(), request.size(), 1, reply.data(), capacity);
        EXPECT_LE(size, capacity);
        EXPECT_EQ(reply[capacity], 0xEE) << "written past the capacity";
        reply.resize(size);
        return reply;
    }

    std::mt19937 random_{20261210};
    Radio radio_;
    const mlvd_callbacks callbacks_{Networks, Join, nullptr};
    mlvd_device device_{};
};

TEST_F(StationReadsDevice, ListRepliesReadBackAsTheStrongestNetworksThatFit) {
    for (int round = 0; round < 400; ++round) {
        radio_.nets.clear();
        // Now and then more networks than one reply may count.
        const std::size_t count = round % 50 == 0 ? Uniform(250, 300) : Uniform(0, 40);
        for (std::size_t i = 0; i < count; ++i) {
            radio_.nets.push_back({Bytes(Uniform(0, 32), round % 3 == 0), static_cast<std::uint8_t>(Uniform(0, 100)),
                                   false});
        }
        const std::size_t capacity = round % 50 == 0 ? 8192 : Uniform(0, 1472);
        const TIdBytes reply = Handle(BuildScanRequest(), capacity);
        const std::vector<const Net*> expected = Expected(radio_, capacity);
        if (capacity < 6) {
            EXPECT_TRUE(reply.empty());
            continue;
        }
        ASSERT_GE(reply.size(), 6u);
        EXPECT_EQ(reply[4], expected.size()) << "the record count";
        FakeSsidList list;
        FakeNotice notice;
        std::string dropped;
        const TDatagramKind kind = HandleDatagram(reply, list, notice, [&](const std::string& e) { dropped = e; });
        // A reply of no record is 6 bytes, which stations ignore.
        EXPECT_EQ(kind, expected.empty() ? TDatagramKind::Dropped : TDatagramKind::ListReply);
        EXPECT_EQ(dropped, "");
        ASSERT_EQ(list.rows.size(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(State().SsidTable[i], expected[i]->ssid) << "round " << round << " record " << i;
            EXPECT_EQ(list.rows[i].subItem, std::to_string(expected[i]->signal) + "%");
        }
    }
}

TEST_F(StationReadsDevice, JoinResultsReadBackAsTheVerdictAndOnlyAcceptedJoinsAreHandedOn) {
    const std::vector<TIdBytes> keys = {
        TIdBytes{'p', 'a', 's', 's', 'w', 'o', 'r', 'd'}, TIdBytes{'s', 'h', 'o', 'r', 't'}, TIdBytes(63, '~'),
        TIdBytes(64, 'f'), TIdBytes(64, 'g'), TIdBytes(65, 'a'), TIdBytes{0xC4, 0xE3, 0xC4, 0xE3, 0xC4, 0xE3, 0xC4, 0xE3},
        TIdBytes{'t', 'a', 'b', '\t', 'k', 'e', 'y', '!'}};
    std::size_t accepted = 0;
    for (int round = 0; round < 400; ++round) {
        radio_.nets.clear();
        for (std::size_t i = Uniform(1, 6); i > 0; --i) {
            radio_.nets.push_back({Bytes(Uniform(0, 12), true), static_cast<std::uint8_t>(Uniform(0, 100)),
                                   Uniform(0, 3) == 0});
        }
        const bool listed = Uniform(0, 2) != 0;
        const TIdBytes ssid = listed ? radio_.nets[Uniform(0, radio_.nets.size() - 1)].ssid : Bytes(Uniform(1, 12), false);
        const TIdBytes key = keys[Uniform(0, keys.size() - 1)];
        // The unit reads the SSID up to the first 0D 0A of the request.
        TIdBytes wire = ssid;
        wire.insert(wire.end(), {0x0D, 0x0A});
        wire.insert(wire.end(), key.begin(), key.end());
        std::size_t split = 0;
        while (!(wire[split] == 0x0D && wire[split + 1] == 0x0A)) ++split;
        const TIdBytes readSsid(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(split));
        const TIdBytes readKey(wire.begin() + static_cast<std::ptrdiff_t>(split + 2), wire.end());
        const auto seen = std::find_if(radio_.nets.begin(), radio_.nets.end(),
                                       [&](const Net& n) { return n.ssid == readSsid && Listable(n.ssid); });
        const bool ssidOk = seen != radio_.nets.end();
        const bool keyOk = (ssidOk && seen->open) || Wpa2Key(readKey);
        const JoinVerdict verdict =
            !keyOk ? JoinVerdict::KeyFormat : ssidOk ? JoinVerdict::Accepted : JoinVerdict::SsidNotFound;

        radio_.joins.clear();
        const TIdBytes reply = Handle(BuildJoinRequest(ssid, key), Uniform(7, 64));
        FakeSsidList list;
        FakeNotice notice;
        EXPECT_EQ(HandleDatagram(reply, list, notice), TDatagramKind::JoinResult);
        ASSERT_EQ(notice.verdicts.size(), 1u);
        EXPECT_EQ(notice.verdicts[0], verdict) << "round " << round;
        if (verdict == JoinVerdict::Accepted) {
            ++accepted;
            ASSERT_EQ(radio_.joins.size(), 1u);
            EXPECT_EQ(radio_.joins[0].first, readSsid);
            EXPECT_EQ(radio_.joins[0].second, readKey);
        } else {
            EXPECT_TRUE(radio_.joins.empty());
        }
    }
    EXPECT_GT(accepted, 50u);
    EXPECT_EQ(device_.joins, accepted);
}

}  // namespace
}  // namespace melvorin::testing
