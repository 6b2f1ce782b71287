// The simulated device's request handling, byte for byte, and read back by the
// tool's own protocol code.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/options.h"
#include "fakes.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "protocol/state.h"
#include "wire.h"

namespace melvorin::devsim {
namespace {

using testing::FakeKeyBox;
using testing::FakeSender;
using testing::Frame;
using testing::JoinRequest;
using RecordingList = testing::FakeSsidList;
using RecordingNotice = testing::FakeNotice;
using Row = testing::FakeSsidList::Row;

TIdBytes Bytes(const std::string& s) { return testing::BytesOf(s); }

DeviceConfig Config(std::vector<Network> nets, std::optional<TIdBytes> key = std::nullopt) {
    DeviceConfig c;
    c.networks = std::move(nets);
    c.key = std::move(key);
    return c;
}

DeviceConfig DefaultConfig() { return ParseArgs({}).config; }

class DevsimDevice : public ::testing::Test {
protected:
    void SetUp() override { ReleaseState(); }
    void TearDown() override { ReleaseState(); }
};

TEST_F(DevsimDevice, ScanRequestGetsTheListReplyByteForByte) {
    const DeviceConfig cfg = Config({{Bytes("AB"), 50}, {Bytes("X"), 0xFF}});
    const auto reply = HandleRequest(TIdBytes{0xFF, 0x00, 0x01, 0x01, 0x02}, cfg);
    ASSERT_TRUE(reply.has_value());
    // 00+0D+81+02+41+42+00+32+0D+0A+58+00+FF+0D+0A = 0x2CA
    const TIdBytes expected{0xFF, 0x00, 0x0D, 0x81, 0x02, 0x41, 0x42, 0x00, 0x32, 0x0D,
                            0x0A, 0x58, 0x00, 0xFF, 0x0D, 0x0A, 0xCA};
    EXPECT_EQ(Hex(*reply, ' '), Hex(expected, ' '));
    // No network: the count is zero and nothing follows it.
    EXPECT_EQ(Hex(*HandleRequest(Frame(0x01, {}), Config({})), ' '), "ff 00 02 81 00 83");
}

TEST_F(DevsimDevice, DefaultNetworksReadBackByTheToolWithTheChineseCaption) {
    const DeviceConfig cfg = DefaultConfig();
    ASSERT_EQ(cfg.networks.size(), 4u);
    // The Chinese SSID goes out as its code page 936 bytes.
    EXPECT_EQ(Hex(cfg.networks[1].ssid, ' '), "b0 ec b9 ab ca d2 57 69 46 69");

    RecordingList list;
    RecordingNotice notice;
    HandleDatagram(*HandleRequest(BuildScanRequest(), cfg), list, notice);
    const std::vector<Row> expected{
        {"HomeNet", "82%"}, {"办公室WiFi", "67%"}, {"Cafe_Guest", "45%"}, {"Lab-2.4G", "23%"}};
    EXPECT_EQ(list.rows, expected);
    ASSERT_GE(State().SsidTable.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(State().SsidTable[i], cfg.networks[i].ssid) << i;
    EXPECT_TRUE(notice.notices.empty());
}

TEST_F(DevsimDevice, Utf8SsidsReadBackAsTheSameText) {
    const Options opt = ParseArgs({"--utf8", "--network", "家里的WiFi:99"});
    EXPECT_EQ(opt.config.networks[0].ssid, Bytes("家里的WiFi"));
    RecordingList list;
    RecordingNotice notice;
    HandleDatagram(*HandleRequest(BuildScanRequest(), opt.config), list, notice);
    EXPECT_EQ(list.rows, (std::vector<Row>{{"家里的WiFi", "99%"}}));
}

TEST_F(DevsimDevice, LargestListStaysReadableRecordForRecord) {
    // 255 networks (the count byte's limit) of varied sizes, up to the 8192
    // bytes that the tool receives; the length byte saturates at 255.
    std::vector<Network> nets;
    std::size_t size = 6;
    for (int i = 0; i < 255; ++i) {
        std::string ssid = "net-" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 23), 'x');
        nets.push_back({Bytes(ssid), static_cast<std::uint8_t>(i)});
        size += ssid.size() + 4;
    }
    // Pad the SSIDs from the last one on, each to at most 255 bytes, to
    // exactly 8192 bytes of reply.
    ASSERT_LT(size, kMaxReplySize);
    for (auto net = nets.rbegin(); size < kMaxReplySize; ++net) {
        const std::size_t pad = std::min(kMaxSsidLength - net->ssid.size(), kMaxReplySize - size);
        net->ssid.resize(net->ssid.size() + pad, 'z');
        size += pad;
    }
    const DeviceConfig cfg = Config(nets);
    ASSERT_EQ(ConfigProblem(cfg), "");
    const TIdBytes reply = BuildListReply(cfg);
    ASSERT_EQ(reply.size(), kMaxReplySize);
    EXPECT_EQ(reply[2], 0xFF);
    EXPECT_EQ(reply[4], 255);

    RecordingList list;
    RecordingNotice notice;
    HandleDatagram(reply, list, notice);
    ASSERT_EQ(list.rows.size(), 255u);
    for (std::size_t i = 0; i < 255; ++i) {
        EXPECT_EQ(State().SsidTable[i], nets[i].ssid) << i;
        EXPECT_EQ(list.rows[i].subItem, std::to_string(i) + "%") << i;
    }

    // One byte more is refused at start-up.
    nets.front().ssid.push_back('z');
    EXPECT_NE(ConfigProblem(Config(nets)).find("8193 bytes"), std::string::npos);
    nets.front().ssid.pop_back();
    nets.push_back({Bytes("one-too-many"), 1});
    EXPECT_NE(ConfigProblem(Config(nets)).find("too many networks"), std::string::npos);
}

TEST_F(DevsimDevice, SsidsTheToolCouldNotReadBackAreRefused) {
    EXPECT_EQ(ConfigProblem(Config({{Bytes("ok"), 1}, {Bytes("办"), 2}})), "");
    EXPECT_NE(ConfigProblem(Config({{TIdBytes{}, 1}})).find("empty SSID"), std::string::npos);
    EXPECT_EQ(ConfigProblem(Config({{TIdBytes(kMaxSsidLength, 'a'), 1}})), "");
    EXPECT_NE(ConfigProblem(Config({{TIdBytes(kMaxSsidLength + 1, 'a'), 1}})).find("256 bytes long"),
              std::string::npos);
    EXPECT_NE(ConfigProblem(Config({{TIdBytes{'a', 0x00, 'b'}, 1}})).find("zero byte"), std::string::npos);
    EXPECT_NE(ConfigProblem(Config({{TIdBytes{'a', 0x0D, 0x0A, 'b'}, 1}})).find("line break"), std::string::npos);
    // A lone LF would pair with a count byte of 0x0D (13 networks).
    std::vector<Network> thirteen(13, Network{Bytes("n"), 1});
    thirteen[0].ssid = TIdBytes{0x0A, 'n'};
    EXPECT_NE(ConfigProblem(Config(thirteen)).find("line break"), std::string::npos);
    EXPECT_NE(ConfigProblem(Config({{TIdBytes{'a', 0x0D}, 1}})).find("line break"), std::string::npos);
}

TEST_F(DevsimDevice, JoinVerdicts) {
    const DeviceConfig open = Config({{Bytes("HomeNet"), 80}, {TIdBytes{0xB0, 0xEC}, 10}});
    auto verdict = [](const DeviceConfig& cfg, const TIdBytes& ssid, const TIdBytes& key) {
        const auto reply = HandleRequest(JoinRequest(ssid, key), cfg);
        return reply ? Hex(*reply, ' ') : std::string("none");
    };
    const std::string both = "ff 00 03 82 01 01 87";
    const std::string keyBad = "ff 00 03 82 01 00 86";
    const std::string ssidBad = "ff 00 03 82 00 01 86";

    EXPECT_EQ(verdict(open, Bytes("HomeNet"), Bytes("12345678")), both);
    EXPECT_EQ(verdict(open, TIdBytes{0xB0, 0xEC}, Bytes(std::string(63, 'k'))), both);
    EXPECT_EQ(verdict(open, Bytes("HomeNet"), Bytes("1234567")), keyBad);
    EXPECT_EQ(verdict(open, Bytes("HomeNet"), Bytes(std::string(64, 'k'))), keyBad);
    EXPECT_EQ(verdict(open, Bytes("homenet"), Bytes("12345678")), ssidBad);
    EXPECT_EQ(verdict(open, Bytes("HomeNe"), Bytes("12345678")), ssidBad);
    EXPECT_EQ(verdict(open, TIdBytes{}, TIdBytes{}), "ff 00 03 82 00 00 85");
    // The SSID ends at the first 0D 0A; a key may hold the pair itself.
    EXPECT_EQ(verdict(open, Bytes("HomeNet"), Bytes("ab\r\ncdefgh")), both);

    const DeviceConfig keyed = Config(open.networks, Bytes("s3cret!"));
    EXPECT_EQ(verdict(keyed, Bytes("HomeNet"), Bytes("s3cret!")), both);
    EXPECT_EQ(verdict(keyed, Bytes("HomeNet"), Bytes("s3cret!!")), keyBad);
    EXPECT_EQ(verdict(keyed, Bytes("HomeNet"), Bytes("12345678")), keyBad);
}

TEST_F(DevsimDevice, MalformedDatagramsAreIgnored) {
    const DeviceConfig cfg = DefaultConfig();
    auto ignored = [&](const TIdBytes& d) { return !HandleRequest(d, cfg).has_value(); };
    EXPECT_TRUE(ignored({}));
    EXPECT_TRUE(ignored({0xFF}));
    EXPECT_TRUE(ignored({0xFF, 0x00, 0x01, 0x01}));          // 4 bytes
    EXPECT_TRUE(ignored({0xFF, 0x00, 0x01, 0x01, 0x03}));    // checksum
    EXPECT_TRUE(ignored({0xFE, 0x00, 0x01, 0x01, 0x02}));    // lead byte
    EXPECT_TRUE(ignored(Frame(0x03, {})));                   // unknown command
    EXPECT_TRUE(ignored(Frame(0x81, {0x00})));               // a reply, not a request
    EXPECT_TRUE(ignored(BuildJoinResult(true, true)));
    EXPECT_TRUE(ignored(Frame(0x02, Bytes("\x00HomeNet12345678"))));  // no 0D 0A
    EXPECT_TRUE(ignored(Frame(0x02, Bytes("\x01HomeNet\r\n12345678"))));  // offset 4 not 00
    EXPECT_TRUE(ignored(Frame(0x02, {0x00, 0x0D})));        // pair cut by the checksum
    // The pair must lie before the checksum: a checksum of 0x0A after a 0x0D
    // does not end an SSID.
    TIdBytes cutPair{0xFF, 0x00, 0x03, 0x02, 0x00, 0x0D, 0x00};
    cutPair[6] = CalcChecksum(cutPair.data() + 1, 5);
    EXPECT_TRUE(ignored(cutPair));

    // The length byte must say n - 4, even with the right checksum; offset 1
    // is not read.
    EXPECT_FALSE(ignored(Frame(0x01, {})));
    TIdBytes oddLength{0xFF, 0x00, 0x09, 0x01, 0x00};
    oddLength[4] = CalcChecksum(oddLength.data() + 1, 3);
    EXPECT_TRUE(ignored(oddLength));
    TIdBytes oddSecond{0xFF, 0x07, 0x01, 0x01, 0x00};
    oddSecond[4] = CalcChecksum(oddSecond.data() + 1, 3);
    EXPECT_FALSE(ignored(oddSecond));
    // A scan request with a payload is still a scan request.
    EXPECT_FALSE(ignored(Frame(0x01, {0x01, 0x02, 0x03})));
}

TEST_F(DevsimDevice, LongestRequestIsReadWholeAndLongerOnesIgnored) {
    const DeviceConfig cfg = DefaultConfig();
    // 259 bytes (a length byte of 255), the key refused: 65 bytes.
    const TIdBytes longest = JoinRequest(Bytes("HomeNet"), Bytes(std::string(259 - 15, 'k')));
    ASSERT_EQ(longest.size(), 259u);
    EXPECT_EQ(Hex(*HandleRequest(longest, cfg), ' '), "ff 00 03 82 01 00 86");
    // One byte more, whose length byte can only wrap, and the largest UDP
    // payload over IPv4 with its checksum right: no reply.
    EXPECT_FALSE(HandleRequest(JoinRequest(Bytes("HomeNet"), Bytes(std::string(260 - 15, 'k'))), cfg).has_value());
    EXPECT_FALSE(HandleRequest(JoinRequest(Bytes("HomeNet"), TIdBytes(65507 - 15, 'k')), cfg).has_value());
    TIdBytes bigScan(65507, 0x00);
    bigScan[0] = 0xFF;
    bigScan[2] = 0xFF;
    bigScan[3] = 0x01;
    bigScan.back() = 0x00;  // 0xFF + 0x01
    EXPECT_FALSE(HandleRequest(bigScan, cfg).has_value());
}

// The whole road through the tool's own exchange code: scan, list, double-click
// with a key, join result, notice.
TEST_F(DevsimDevice, ToolRoadScanListJoinNotice) {
    DeviceConfig cfg = DefaultConfig();
    FakeSender sender;
    RecordingList list;
    RecordingNotice notice;

    Scan("1902", sender);
    ASSERT_EQ(sender.sent.size(), 1u);
    const auto listReply = HandleRequest(sender.sent[0].data, cfg);
    ASSERT_TRUE(listReply.has_value());
    HandleDatagram(*listReply, list, notice);
    ASSERT_EQ(list.rows.size(), 4u);

    auto join = [&](int row, const std::string& key, const DeviceConfig& device) {
        list.selected = row;
        FakeKeyBox box(key);
        sender.sent.clear();
        Join(list, box, sender);
        EXPECT_EQ(sender.sent.size(), 1u);
        if (sender.sent.empty()) return std::string("nothing sent");
        EXPECT_EQ(sender.sent[0].port, 1902);
        const auto result = HandleRequest(sender.sent[0].data, device);
        EXPECT_TRUE(result.has_value());
        if (!result) return std::string("no reply");
        notice.notices.clear();
        HandleDatagram(*result, list, notice);
        return notice.notices.size() == 1 ? notice.notices[0] : std::string("no notice");
    };
    EXPECT_EQ(join(1, "correct horse", cfg), kMsgJoined);    // the Chinese SSID
    EXPECT_EQ(join(0, "short", cfg), kMsgKeyWrong);
    // A device whose networks changed since the scan does not know the SSID.
    const DeviceConfig moved = Config({{Bytes("Elsewhere"), 70}});
    EXPECT_EQ(join(0, "correct horse", moved), kMsgSsidWrong);
    // A key given to the device: the tool's code page 936 key bytes match it.
    const Options keyed = ParseArgs({"--key", "密码1234"});
    EXPECT_EQ(join(3, "密码1234", keyed.config), kMsgJoined);
    EXPECT_EQ(join(3, "密码12345", keyed.config), kMsgKeyWrong);
}

}  // namespace
}  // namespace melvorin::devsim
