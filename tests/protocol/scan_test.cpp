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

// Each reply replaces the list (one earlier row) and rebuilds the table with
// count + 1 entries; the records are found by their 0D 0A endings.
TEST_F(ScanTest, ListReplyRecordScan) {
    const struct {
        const char* what;
        TIdBytes reply;
        Rows rows;
        std::vector<TIdBytes> table;
    } cases[] = {
        {"one record", {0xFF, 0x00, 0x08, 0x81, 0x00, 0x41, 0x42, 0x00, 0x32, 0x0D, 0x0A, 0x55},
         {{"AB", "50%"}}, {{0x41, 0x42}}},
        {"strength in decimal, one byte left alone before it",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x02, 0x4E, 0x65, 0x74, 0x99, 0x00, 0x0D, 0x0A, 0x58, 0x01, 0xFF, 0x0D, 0x0A,
                 0x00}),
         {{"Net", "0%"}, {"X", "255%"}}, {{0x4E, 0x65, 0x74}, {0x58}, {}}},
        {"records beyond the count end the handling",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x00, 0x41, 0x00, 0x10, 0x0D, 0x0A, 0x42, 0x00, 0x20, 0x0D, 0x0A, 0x00}),
         {{"A", "16%"}}, {{0x41}}},
        {"no record end", Sealed({0xFF, 0x00, 0x00, 0x81, 0x03, 0x41, 0x42, 0x00, 0x32, 0x0D, 0x00}), {},
         {{}, {}, {}, {}}},
        {"one-byte SSID is the shortest record",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x5A, 0x00, 0x49, 0x0D, 0x0A, 0x00}), {{"Z", "73%"}}, {{0x5A}, {}}},
        {"a four-byte record (L = 0) ends the handling",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x05, 0x5A, 0x00, 0x49, 0x0D, 0x0A, 0x00, 0x49, 0x0D, 0x0A, 0x59, 0x00, 0x49,
                 0x0D, 0x0A, 0x00}),
         {{"Z", "73%"}}, {{0x5A}, {}, {}, {}, {}, {}}},
        // One network named "ABCD\r\nEF": the pair inside its name ends a first
        // record "AB" (C left alone, D read as the strength), and "EF" runs
        // into the record that the device ended itself.
        {"SSID holding 0D 0A is split",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x03, 0x41, 0x42, 0x43, 0x44, 0x0D, 0x0A, 0x45, 0x46, 0x00, 0x32, 0x0D, 0x0A,
                 0x00}),
         {{"AB", "68%"}, {"EF", "50%"}}, {{0x41, 0x42}, {0x45, 0x46}, {}, {}}},
        {"zero byte cuts the caption but not the table",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x00, 0x41, 0x00, 0x42, 0x00, 0x32, 0x0D, 0x0A, 0x00}), {{"A", "50%"}},
         {{0x41, 0x00, 0x42}}},
        {"code page 936 and UTF-8 SSIDs shown as their characters",
         Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0xD6, 0xD0, 0xCE, 0xC4, 0x00, 0x40, 0x0D, 0x0A, 0xE4, 0xB8, 0xAD, 0xE6,
                 0x96, 0x87, 0x00, 0x41, 0x0D, 0x0A, 0x00}),
         {{"中文", "64%"}, {"中文", "65%"}}, {{0xD6, 0xD0, 0xCE, 0xC4}, {0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReleaseState();
        Receiver r;
        r.list.rows = {{"old", "1%"}};
        r.Receive(c.reply);
        EXPECT_EQ(r.list.clears, 1);
        EXPECT_EQ(r.list.rows, c.rows);
        EXPECT_EQ(State().SsidTable, c.table);
    }
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

}  // namespace
}  // namespace melvorin::testing
