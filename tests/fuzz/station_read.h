#pragma once

// Shared by the fuzz targets that check a unit's reply: what the station's
// own datagram handler makes of it, read from a fresh state, the state left
// fresh again.

#include <cstddef>
#include <string>
#include <vector>

#include "fakes.h"
#include "protocol/frame.h"
#include "protocol/state.h"

namespace melvorin::fuzz {

struct StationRead {
    TDatagramKind kind;
    std::vector<testing::FakeSsidList::Row> rows;
    std::vector<std::string> notices;
    std::vector<TIdBytes> table;  // the SSIDs behind the rows
};

inline StationRead ReadAsStation(const std::vector<std::uint8_t>& datagram) {
    ReleaseState();
    testing::FakeSsidList list;
    testing::FakeNotice notice;
    StationRead read{HandleDatagram(datagram, list, notice), list.rows, notice.notices, State().SsidTable};
    ReleaseState();
    return read;
}

}  // namespace melvorin::fuzz
