#pragma once

#include <cstdint>
#include <vector>

#include "protocol/bytes.h"

namespace melvorin {

// The exchange state: one instance for the life of the program.
// In the windows only the window's thread touches it: every datagram is
// handed over to that thread. In melvorin-cli the thread that runs the
// session writes SearchPort (Scan), and the listener threads rewrite
// SsidTable (HandleListReply), one at a time under the session's lock; no
// thread there reads a field that another one writes.
struct ExchangeState {
    std::int32_t SearchPort = 0;
    std::vector<TIdBytes> SsidTable;
    TIdBytes SelectedSsid;
    std::int32_t SsidLength = 0;
    std::int32_t KeyLength = 0;
    TIdBytes JoinFrame;
};

ExchangeState& State();
// Back to the empty state of a fresh start (also what the program does on its
// way out).
void ReleaseState();

}  // namespace melvorin
