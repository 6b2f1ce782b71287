#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "fakes.h"
#include "fixture.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"

namespace melvorin::testing {
namespace {

using FrameTest = ProtocolTest;

TEST_F(FrameTest, ChecksumIsAPlainSumModulo256) {
    EXPECT_EQ(CalcChecksum(nullptr, 0), 0);
    const TIdBytes wrap = {0x80, 0x90};
    EXPECT_EQ(CalcChecksum(wrap.data(), 2), 0x10);
    const TIdBytes scan = {0xFF, 0x00, 0x01, 0x01, 0x02};
    EXPECT_EQ(CalcChecksum(scan.data() + 1, 3), 0x02);
    const TIdBytes many(1000, 0xFF);  // 1000 * 255 mod 256 = 24
    EXPECT_EQ(CalcChecksum(many.data(), 1000), 24);
}

TEST_F(FrameTest, BuildFrameWritesHeaderAndChecksumLast) {
    EXPECT_EQ(BuildFrame(0x01, {}), (TIdBytes{0xFF, 0x00, 0x01, 0x01, 0x02}));
    EXPECT_EQ(BuildFrame(0x02, {0x80, 0x90}), (TIdBytes{0xFF, 0x00, 0x03, 0x02, 0x80, 0x90, 0x15}));
}

TEST_F(FrameTest, BuildFrameRefusesALengthByteAbove255) {
    const TIdBytes largest = BuildFrame(0x02, TIdBytes(254, 0x01));
    ASSERT_EQ(largest.size(), 259u);
    EXPECT_EQ(largest[2], 255);
    EXPECT_EQ(largest.back(), static_cast<std::uint8_t>((255 + 2 + 254) % 256));
    try {
        BuildFrame(0x02, TIdBytes(255, 0x01));
        FAIL() << "a 256 length byte was built";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "Range check error");
    }
}

// --- acceptance and dispatch ---

struct Receiver {
    FakeSsidList list;
    FakeNotice notice;
    void Receive(const TIdBytes& data) { HandleDatagram(data, list, notice); }
    bool Untouched() const { return list.clears == 0 && notice.notices.empty(); }
};

TEST_F(FrameTest, OnlyAcceptedListRepliesAndJoinResultsChangeAnything) {
    const struct {
        const char* what;
        TIdBytes datagram;
    } ignored[] = {
        {"empty", {}},
        {"our own scan request coming back", {0xFF, 0x00, 0x01, 0x01, 0x02}},
        {"six bytes, checksum right", {0xFF, 0x00, 0x02, 0x81, 0x00, 0x83}},
        {"checksum wrong", {0xFF, 0x00, 0x03, 0x82, 0x01, 0x01, 0x08}},
        {"lead byte wrong", {0xFE, 0x00, 0x03, 0x82, 0x01, 0x01, 0x87}},
        {"lead byte zero", Sealed({0x00, 0x00, 0x03, 0x81, 0x00, 0x00})},
        {"a join request coming back", JoinRequest(BytesOf("AB"), BytesOf("123"))},
        {"command 0x01 with a payload", Sealed({0xFF, 0x00, 0x03, 0x01, 0x01, 0x01, 0x00})},
        {"command 0x83", Sealed({0xFF, 0x00, 0x03, 0x83, 0x01, 0x01, 0x00})},
    };
    for (const auto& [what, datagram] : ignored) {
        Receiver r;
        r.Receive(datagram);
        EXPECT_TRUE(r.Untouched()) << what;
    }
    Receiver r;
    r.Receive({0xFF, 0x00, 0x03, 0x82, 0x01, 0x01, 0x87});
    EXPECT_EQ(r.notice.notices, (std::vector<std::string>{kMsgJoined}));
}

TEST_F(FrameTest, LengthByteAndOffset1AreNotTested) {
    Receiver r;
    r.Receive(Sealed({0xFF, 0x37, 0x99, 0x81, 0x00, 0x41, 0x42, 0x00, 0x32, 0x0D, 0x0A, 0x00}));
    EXPECT_EQ(r.list.rows, (std::vector<FakeSsidList::Row>{{"AB", "50%"}}));
}

class ThrowingNotice : public INotice {
public:
    void ShowNotice(const TJoinResult&) override { throw std::bad_alloc(); }
};

class ThrowingList : public FakeSsidList {
public:
    void AddRow(const TNetwork& network) override {
        if (!rows.empty()) {
            throw 42;  // not even a std::exception
        }
        FakeSsidList::AddRow(network);
    }
};

TEST_F(FrameTest, NothingEscapesTheDatagramHandlerAndWhatItDropsIsPassedOn) {
    ThrowingNotice notice;
    ThrowingList list;
    std::vector<std::string> dropped;
    const TDroppedError record = [&dropped](const std::string& error) { dropped.push_back(error); };
    const TIdBytes result = {0xFF, 0x00, 0x03, 0x82, 0x01, 0x01, 0x87};
    EXPECT_NO_THROW(HandleDatagram(result, list, notice));
    EXPECT_NO_THROW(HandleDatagram(result, list, notice, record));

    // Two records; the second AddRow throws: the first row stays.
    const TIdBytes reply = Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x41, 0x00, 0x10, 0x0D, 0x0A,
                                         0x42, 0x00, 0x20, 0x0D, 0x0A, 0x00});
    EXPECT_NO_THROW(HandleDatagram(reply, list, notice, record));
    EXPECT_EQ(list.rows, (std::vector<FakeSsidList::Row>{{"A", "16%"}}));
    EXPECT_EQ(State().SsidTable[1], (TIdBytes{0x42}));  // written before the failing AddRow

    // A record too short to hold an SSID: the program's own kind and message.
    FakeSsidList plain;
    HandleDatagram(Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x0D, 0x0A, 0x00}), plain, notice, record);
    // A callback that fails in its turn stays inside the handler too.
    EXPECT_NO_THROW(HandleDatagram(result, list, notice, [](const std::string&) { throw 1; }));
    EXPECT_EQ(dropped, (std::vector<std::string>{"Exception: std::bad_alloc", "Exception: Unknown error",
                                                 "ERangeError: Range check error"}));
}

}  // namespace
}  // namespace melvorin::testing
