// Test entry for every suite: refuses to run outside a private network
// namespace, so that no test can put a datagram on a real interface.

#include <cstdio>

#include <gtest/gtest.h>

#include "netns_guard.h"

int main(int argc, char** argv) {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "refusing to run outside a private network namespace: %s\n"
                             "run the tests with scripts/test or scripts/in-netns\n", problem.c_str());
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
