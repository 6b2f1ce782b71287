#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "fakes.h"
#include "protocol/bytes.h"
#include "protocol/state.h"

namespace melvorin::testing {

// Every test starts from the exchange state of a fresh start.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { ReleaseState(); }
    void TearDown() override { ReleaseState(); }
};

// The given bytes with the last one replaced by the sum of offsets 1..n-2,
// worked out here independently of CalcChecksum.
inline TIdBytes WithChecksum(std::initializer_list<std::uint8_t> bytes) {
    TIdBytes frame(bytes);
    unsigned sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
        sum += frame[i];
    }
    frame.back() = static_cast<std::uint8_t>(sum % 256);
    return frame;
}

}  // namespace melvorin::testing
