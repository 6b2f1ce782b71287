// Fuzz target: one received datagram through the datagram handler
// (acceptance, dispatch, list-reply and join-result handling) into recording
// stand-ins of the list and the notice box. The expected outcome is worked
// out again here from the bytes alone and compared with what was recorded.
//
// Input: one control byte, then the datagram. Control bit 0 sets the lead
// byte to 0xFF and bit 1 writes the right checksum into the last byte, so
// that most inputs get past acceptance and into the record scan.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fakes.h"
#include "fuzz_check.h"
#include "protocol/cp936.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/state.h"
#include "wire.h"

namespace melvorin::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Table entries left by an earlier reply; a reply keeps those below its new
// size that no record overwrites.
const std::vector<Bytes> kOldTable = {{0xEE, 0x00}, {0xEE, 0x01}, {0xEE, 0x02}, {0xEE, 0x03}};

struct Record {
    Bytes ssid;
    std::uint8_t strength;
};

// Records of a list reply as found by their 0D 0A endings: record k runs from
// just after the previous ending's 0A (offset 5 for the first) through its own
// 0A; its SSID is everything up to the ignored byte and the strength. The
// list holds the leading run of records whose SSID is not empty and that fit
// in a table of count + 1 entries.
std::vector<Record> ExpectedRecords(const Bytes& d) {
    std::vector<std::size_t> endings;  // offsets of the 0A of each 0D 0A pair
    for (std::size_t i = 0; i + 1 < d.size(); ++i) {
        if (d[i] == 0x0D && d[i + 1] == 0x0A) endings.push_back(i + 1);
    }
    const std::size_t capacity = std::size_t{d[4]} + 1;
    std::vector<Record> records;
    long long begin = 5;  // the first pair may sit in the header, before offset 5
    for (const std::size_t lf : endings) {
        const long long ssidLength = static_cast<long long>(lf) - 3 - begin;
        if (ssidLength <= 0 || records.size() >= capacity) break;
        const auto from = d.begin() + begin;
        records.push_back({Bytes(from, from + ssidLength), d[lf - 2]});
        begin = static_cast<long long>(lf) + 1;
    }
    return records;
}

void CheckCaption(const std::string& caption, const Bytes& ssid, std::size_t row) {
    const std::string where = "row " + std::to_string(row) + ", SSID " + HexOf(ssid);
    FUZZ_CHECK(caption == BytesToText(ssid), where);
    FUZZ_CHECK(caption.find('\0') == std::string::npos, where);
    FUZZ_CHECK(testing::IsValidUtf8(caption), where + ", caption " + HexOf(reinterpret_cast<const std::uint8_t*>(caption.data()), caption.size()));
    // Up to its first zero byte, plain ASCII is shown as it is.
    Bytes shown;
    for (const std::uint8_t b : ssid) {
        if (b == 0) break;
        shown.push_back(b);
    }
    bool ascii = true;
    for (const std::uint8_t b : shown) ascii = ascii && b < 0x80;
    if (ascii) FUZZ_CHECK(caption == std::string(shown.begin(), shown.end()), where);
}

void Run(const std::uint8_t* input, std::size_t size) {
    if (size == 0) return;
    const std::uint8_t control = input[0];
    Bytes d(input + 1, input + size);
    if ((control & 0x01) && !d.empty()) d[0] = 0xFF;
    if ((control & 0x02) && d.size() >= 2) {
        unsigned sum = 0;
        for (std::size_t i = 1; i + 1 < d.size(); ++i) sum += d[i];
        d.back() = static_cast<std::uint8_t>(sum & 0xFF);
    }

    ReleaseState();
    State().SsidTable = kOldTable;
    testing::FakeSsidList list;
    list.rows.push_back({"earlier", "1%"});
    testing::FakeNotice notice;

    HandleDatagram(d, list, notice);

    const std::string datagram = "datagram " + HexOf(d);
    const std::size_t n = d.size();
    bool accepted = n >= 7 && d[0] == 0xFF;
    if (accepted) {
        unsigned sum = 0;
        for (std::size_t i = 1; i <= n - 2; ++i) sum += d[i];
        accepted = sum % 256 == d[n - 1];
    }
    const int command = accepted ? d[3] : -1;

    if (command == 0x81) {
        const std::vector<Record> expected = ExpectedRecords(d);
        FUZZ_CHECK(list.clears == 1, datagram);
        FUZZ_CHECK(list.rows.size() == expected.size(),
                   datagram + ": " + std::to_string(list.rows.size()) + " rows, expected " + std::to_string(expected.size()));
        const std::vector<Bytes>& table = State().SsidTable;
        FUZZ_CHECK(table.size() == std::size_t{d[4]} + 1, datagram);
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (i < expected.size()) {
                FUZZ_CHECK(table[i] == expected[i].ssid, datagram + ": table entry " + std::to_string(i));
                CheckCaption(list.rows[i].caption, table[i], i);
                char percent[8];
                std::snprintf(percent, sizeof percent, "%u%%", static_cast<unsigned>(expected[i].strength));
                FUZZ_CHECK(list.rows[i].subItem == percent, datagram + ": row " + std::to_string(i));
            } else if (i < kOldTable.size()) {
                FUZZ_CHECK(table[i] == kOldTable[i], datagram + ": old entry " + std::to_string(i));
            } else {
                FUZZ_CHECK(table[i].empty(), datagram + ": new entry " + std::to_string(i));
            }
        }
    } else {
        // Nothing but a list reply touches the list or the table.
        FUZZ_CHECK(list.clears == 0 && list.rows.size() == 1, datagram);
        FUZZ_CHECK(State().SsidTable == kOldTable, datagram);
    }

    if (command == 0x82) {
        const char* expected = d[5] != 0x01 ? kMsgKeyWrong : d[4] == 0x01 ? kMsgJoined : kMsgSsidWrong;
        FUZZ_CHECK(notice.notices.size() == 1 && notice.notices[0] == expected, datagram);
    } else {
        FUZZ_CHECK(notice.notices.empty(), datagram);
    }
    // The handler never touches the join state.
    FUZZ_CHECK(State().SelectedSsid.empty() && State().JoinFrame.empty() && State().SearchPort == 0, datagram);
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    melvorin::fuzz::Run(data, size);
    return 0;
}
