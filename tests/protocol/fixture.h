#pragma once

#include <gtest/gtest.h>

#include "fakes.h"
#include "protocol/state.h"
#include "wire.h"

namespace melvorin::testing {

// Every test starts from the exchange state of a fresh start.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override { ReleaseState(); }
    void TearDown() override { ReleaseState(); }
};

}  // namespace melvorin::testing
