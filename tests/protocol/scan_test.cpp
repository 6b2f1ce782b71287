#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "fixture.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/scan.h"

namespace melvorin::testing {
namespace {

using ScanTest = ProtocolTest;
using Rows = std::vector<FakeSsidList::Row>;

// --- search-port text ---

TEST_F(ScanTest, StrToIntAcceptsEveryIntegerForm) {
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"1902", 1902},         {"0", 0},                  {"0001902", 1902},
        {"   1902", 1902},      {"+1902", 1902},           {"-1902", -1902},
        {"  -7", -7},           {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"$76E", 1902},         {"x76e", 1902},            {"X76E", 1902},
        {"0x76E", 1902},        {"0X76e", 1902},           {"-$10", -16},
        {"+0x10", 16},          {"$7FFFFFFF", 2147483647}, {"$80000000", -2147483647 - 1},
        {"$FFFFFFFF", -1},      {"-$FFFFFFFF", 1},         {"$00000001", 1},
        {"-0", 0},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(StrToInt(text), value) << "'" << text << "'";
    }
}

TEST_F(ScanTest, StrToIntRefusesWithTheTextAsGiven) {
    const std::vector<std::string> bad = {
        "",          " ",          "1902 ",     "19 02",    "2147483648", "-2147483649", "99999999999",
        "$",         "x",          "0x",        "-$",       "$123456789", "$000000001",  "$12G",
        "+",         "-",          "+-1",       "--1",      "- 1",        "\t1902",      "1902\n",
        "0x0x1",     "$0x1",       "1e3",       "١٩٠٢",     "12a",        "0b101",
        // A zero byte inside the text: the message still quotes all of it.
        std::string("X0\0" "12", 5), std::string("19\0" "02", 5),
    };
    for (const std::string& text : bad) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "'" << text << "' was taken as an integer";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + text + "' is not a valid integer value");
        }
    }
}

// --- scan action ---

TEST_F(ScanTest, ScanBroadcastsTheFiveByteRequest) {
    FakeSender sender;
    Scan("1902", sender);
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].host, "255.255.255.255");
    EXPECT_EQ(sender.sent[0].port, 1902);
    EXPECT_EQ(sender.sent[0].data, (TIdBytes{0xFF, 0x00, 0x01, 0x01, 0x02}));
    EXPECT_EQ(State().SearchPort, 1902);

    Scan("$76E", sender);
    Scan("0", sender);
    Scan("65535", sender);
    ASSERT_EQ(sender.sent.size(), 4u);
    EXPECT_EQ(sender.sent[1].port, 1902);
    EXPECT_EQ(sender.sent[2].port, 0);
    EXPECT_EQ(sender.sent[3].port, 65535);
}

TEST_F(ScanTest, PortOutOfRangeIsStoredButNothingIsSent) {
    FakeSender sender;
    for (const auto& [text, stored] : std::vector<std::pair<std::string, std::int32_t>>{
             {"-1", -1}, {"70000", 70000}, {"65536", 65536}, {"$FFFFFFFF", -1}, {"$80000000", -2147483647 - 1}}) {
        try {
            Scan(text, sender);
            ADD_FAILURE() << text << " was scanned";
        } catch (const ERangeError& e) {
            EXPECT_EQ(e.Message(), "Range check error");
        }
        EXPECT_EQ(State().SearchPort, stored) << text;
    }
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(ScanTest, TextThatIsNoIntegerLeavesThePortAlone) {
    FakeSender sender;
    Scan("1902", sender);
    EXPECT_THROW(Scan("2147483648", sender), EConvertError);  // conversion error, not range error
    try {
        Scan("", sender);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid integer value");
    }
    EXPECT_EQ(State().SearchPort, 1902);
    EXPECT_EQ(sender.sent.size(), 1u);
}

// --- list reply ---

struct Receiver {
    FakeSsidList list;
    FakeNotice notice;
    void Receive(const TIdBytes& data) { HandleDatagram(data, list, notice); }
};

TEST_F(ScanTest, OneRowReply) {
    Receiver r;
    r.Receive({0xFF, 0x00, 0x08, 0x81, 0x00, 0x41, 0x42, 0x00, 0x32, 0x0D, 0x0A, 0x55});
    EXPECT_EQ(r.list.rows, (Rows{{"AB", "50%"}}));
    EXPECT_EQ(State().SsidTable, (std::vector<TIdBytes>{{0x41, 0x42}}));
}

TEST_F(ScanTest, ReplyReplacesTheListAndShowsStrengthInDecimal) {
    Receiver r;
    r.list.rows = {{"old", "1%"}};
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x02,           //
                            0x4E, 0x65, 0x74, 0x99, 0x00, 0x0D, 0x0A,  // "Net", 0%
                            0x58, 0x01, 0xFF, 0x0D, 0x0A,              // "X", 255%
                            0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"Net", "0%"}, {"X", "255%"}}));
    ASSERT_EQ(State().SsidTable.size(), 3u);
    EXPECT_EQ(State().SsidTable[0], (TIdBytes{0x4E, 0x65, 0x74}));
    EXPECT_EQ(State().SsidTable[1], (TIdBytes{0x58}));
    EXPECT_TRUE(State().SsidTable[2].empty());
}

TEST_F(ScanTest, RecordsBeyondTheCountEndTheHandling) {
    Receiver r;
    // c = 0: room for one record; the second ends the handling.
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x00, 0x41, 0x00, 0x10, 0x0D, 0x0A,
                            0x42, 0x00, 0x20, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"A", "16%"}}));
    EXPECT_EQ(State().SsidTable, (std::vector<TIdBytes>{{0x41}}));
}

TEST_F(ScanTest, ReplyWithoutRecordEndEmptiesTheList) {
    Receiver r;
    r.list.rows = {{"old", "1%"}};
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x03, 0x41, 0x42, 0x00, 0x32, 0x0D, 0x00}));
    EXPECT_TRUE(r.list.rows.empty());
    EXPECT_EQ(r.list.clears, 1);
    EXPECT_EQ(State().SsidTable.size(), 4u);
}

TEST_F(ScanTest, OneByteSsidIsTheShortestRecord) {
    Receiver r;
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x5A, 0x00, 0x49, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"Z", "73%"}}));

    // A good record, then one of four bytes (L = 0), then a good one: the
    // handling ends at the short record.
    Receiver s;
    s.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x05, 0x5A, 0x00, 0x49, 0x0D, 0x0A,  //
                            0x00, 0x49, 0x0D, 0x0A,                                     //
                            0x59, 0x00, 0x49, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(s.list.rows, (Rows{{"Z", "73%"}}));
    EXPECT_EQ(State().SsidTable[0], (TIdBytes{0x5A}));
    EXPECT_TRUE(State().SsidTable[1].empty());
}

TEST_F(ScanTest, SsidHoldingRecordEndIsSplit) {
    Receiver r;
    // One network named "ABCD\r\nEF": the pair inside its name ends a first
    // record "AB" (C left alone, D read as the strength), and "EF" runs into
    // the record that the device ended itself.
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x03,
                            0x41, 0x42, 0x43, 0x44, 0x0D, 0x0A,  // "AB", ignored 43, strength 44
                            0x45, 0x46, 0x00, 0x32, 0x0D, 0x0A,  // "EF", 50%
                            0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"AB", "68%"}, {"EF", "50%"}}));
    EXPECT_EQ(State().SsidTable[0], (TIdBytes{0x41, 0x42}));
    EXPECT_EQ(State().SsidTable[1], (TIdBytes{0x45, 0x46}));
}

TEST_F(ScanTest, TableEntriesBelowTheNewSizeKeepTheirBytes) {
    Receiver r;
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x02, 0x41, 0x00, 0x01, 0x0D, 0x0A, 0x42, 0x00, 0x01, 0x0D,
                            0x0A, 0x43, 0x00, 0x01, 0x0D, 0x0A, 0x00}));
    ASSERT_EQ(r.list.rows.size(), 3u);
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x44, 0x00, 0x01, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"D", "1%"}}));
    EXPECT_EQ(State().SsidTable, (std::vector<TIdBytes>{{0x44}, {0x42}}));
}

TEST_F(ScanTest, ZeroByteCutsTheCaptionButNotTheTable) {
    Receiver r;
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x00, 0x41, 0x00, 0x42, 0x00, 0x32, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"A", "50%"}}));
    EXPECT_EQ(State().SsidTable, (std::vector<TIdBytes>{{0x41, 0x00, 0x42}}));
}

TEST_F(ScanTest, Cp936SsidIsShownAsItsCharacters) {
    Receiver r;
    // "中文" in code page 936, then a UTF-8 "中文".
    r.Receive(Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0xD6, 0xD0, 0xCE, 0xC4, 0x00, 0x40, 0x0D, 0x0A,
                            0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, 0x00, 0x41, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (Rows{{"中文", "64%"}, {"中文", "65%"}}));
    EXPECT_EQ(State().SsidTable[0], (TIdBytes{0xD6, 0xD0, 0xCE, 0xC4}));
}

}  // namespace
}  // namespace melvorin::testing
