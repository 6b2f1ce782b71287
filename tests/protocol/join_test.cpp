#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "fixture.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "protocol/state.h"

namespace melvorin::testing {
namespace {

// A list of one row per table entry with the given row selected, and a scan
// to port 1902 done.
class JoinTest : public ProtocolTest {
protected:
    void Prepare(std::vector<TIdBytes> table, int selected = 0) {
        State().SsidTable = std::move(table);
        for (std::size_t i = 0; i < State().SsidTable.size(); ++i) {
            list.rows.push_back({"row", "50%"});
        }
        list.selected = selected;
        FakeSender scanSender;
        Scan("1902", scanSender);
    }

    FakeSsidList list;
    FakeSender sender;
};

TEST_F(JoinTest, RequestCarriesSsidAndKeyBytes) {
    Prepare({{0x30}, {0x41, 0x42}}, 1);
    FakeKeyBox key("12345678");
    Join(list, key, sender);

    const TIdBytes expected = {0xFF, 0x00, 0x0E, 0x02, 0x00, 0x41, 0x42, 0x0D, 0x0A,
                               0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x4E};
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].host, "255.255.255.255");
    EXPECT_EQ(sender.sent[0].port, 1902);
    EXPECT_EQ(sender.sent[0].data, expected);
    EXPECT_EQ(State().JoinFrame, expected);
    EXPECT_EQ(State().SelectedSsid, (TIdBytes{0x41, 0x42}));
    EXPECT_EQ(State().SsidLength, 2);
    EXPECT_EQ(State().KeyLength, 8);
    EXPECT_TRUE(key.colors.empty());

    // Each double-click sends again.
    Join(list, key, sender);
    EXPECT_EQ(sender.sent.size(), 2u);
}

TEST_F(JoinTest, NoRowsOrNoSelectionDoesNothing) {
    FakeKeyBox key("12345678");
    Join(list, key, sender);  // no rows
    Prepare({{0x41}}, -1);
    Join(list, key, sender);  // no selection
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(key.reads, 0);
    EXPECT_TRUE(State().SelectedSsid.empty());
}

TEST_F(JoinTest, SelectedRowBeyondTheTableIsRefused) {
    Prepare({{0x41}}, 0);
    list.rows.push_back({"stray", "1%"});
    list.selected = 1;
    FakeKeyBox key("12345678");
    EXPECT_THROW(Join(list, key, sender), ERangeError);
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(JoinTest, LongestFrameIsSentAndOneByteMoreRefused) {
    Prepare({TIdBytes(200, 0x53)});
    FakeKeyBox key(std::string(51, 'k'));  // S + K = 251
    Join(list, key, sender);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].data.size(), 259u);
    EXPECT_EQ(sender.sent[0].data[2], 255);

    key.text = std::string(52, 'k');  // S + K = 252
    const TIdBytes lastFrame = State().JoinFrame;
    try {
        Join(list, key, sender);
        FAIL() << "a frame of length 256 was sent";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "Range check error");
    }
    EXPECT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(State().KeyLength, 52);
    EXPECT_EQ(State().JoinFrame, lastFrame);
}

TEST_F(JoinTest, EmptyKeyTurnsTheBoxRedAndShowsThePrompt) {
    Prepare({{0x41}});
    FakeKeyBox key("");
    Join(list, key, sender);
    EXPECT_EQ(key.colors, (std::vector<TColor>{clRed}));
    EXPECT_EQ(key.texts, (std::vector<std::string>{"请输入密码"}));
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(State().KeyLength, 0);

    // The prompt itself, now in the box, is never sent either.
    Join(list, key, sender);
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(key.colors.size(), 1u);
}

TEST_F(JoinTest, ChineseKeyGivesTwoBytesPerCharacter) {
    Prepare({{0x41}});
    FakeKeyBox key("密码ab");
    Join(list, key, sender);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(State().KeyLength, 6);
    const TIdBytes expected = Sealed(
        {0xFF, 0x00, 0x0B, 0x02, 0x00, 0x41, 0x0D, 0x0A, 0xC3, 0xDC, 0xC2, 0xEB, 0x61, 0x62, 0x00});
    EXPECT_EQ(sender.sent[0].data, expected);
}

TEST_F(JoinTest, KeyThatCodePage936CannotHoldIsNotSent) {
    Prepare({{0x41}});
    FakeKeyBox key("ab\xC2\x80" "cd");  // U+0080 passes the key filter
    EXPECT_THROW(Join(list, key, sender), EEncodingError);
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(JoinTest, JoinGoesToThePortOfTheLastGoodScan) {
    Prepare({{0x41}});
    FakeSender scanSender;
    EXPECT_THROW(Scan("abc", scanSender), EConvertError);  // port stays 1902
    FakeKeyBox key("secret");
    Join(list, key, sender);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].port, 1902);

    Scan("2000", scanSender);
    Join(list, key, sender);
    EXPECT_EQ(sender.sent.back().port, 2000);
}

TEST_F(JoinTest, JoinAfterAScanOutOfRangeFails) {
    Prepare({{0x41}});
    FakeSender scanSender;
    EXPECT_THROW(Scan("70000", scanSender), ERangeError);
    FakeKeyBox key("secret");
    try {
        Join(list, key, sender);
        FAIL();
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "Range check error");
    }
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(State().JoinFrame.size(), 15u);  // built before the port was checked
}

// --- join result ---

TEST_F(JoinTest, ResultShowsOneOfThreeMessages) {
    FakeSsidList resultList;
    resultList.rows = {{"AB", "50%"}};
    State().SsidTable = {{0x41, 0x42}};
    FakeNotice notice;
    const auto receive = [&](std::uint8_t ssidVerdict, std::uint8_t keyVerdict) {
        HandleDatagram(Sealed({0xFF, 0x00, 0x03, 0x82, ssidVerdict, keyVerdict, 0x00}), resultList, notice);
    };
    receive(0x01, 0x01);
    receive(0x00, 0x01);
    receive(0x01, 0x00);
    receive(0x00, 0x02);
    receive(0x02, 0x01);
    HandleDatagram(Sealed({0xFF, 0x00, 0x05, 0x82, 0x01, 0x01, 0x77, 0x66, 0x00}), resultList, notice);
    EXPECT_EQ(notice.notices, (std::vector<std::string>{"提交成功，请检查设备状态", "SSID出错了，请重获SSID",
                                                        "密码格式有误，请重新输入", "密码格式有误，请重新输入",
                                                        "SSID出错了，请重获SSID", "提交成功，请检查设备状态"}));
    EXPECT_EQ(resultList.rows.size(), 1u);
    EXPECT_EQ(resultList.clears, 0);
    EXPECT_EQ(State().SsidTable, (std::vector<TIdBytes>{{0x41, 0x42}}));
}

}  // namespace
}  // namespace melvorin::testing
