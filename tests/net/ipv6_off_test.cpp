// With IPv6 switched off the endpoint makes one binding only. The switch is
// thrown in a namespace of its own (a child process), never here.

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "net/stack.h"
#include "net/udp_server.h"

namespace melvorin::net {
namespace {

std::string IPv6SwitchHere() {
    std::ifstream in("/proc/sys/net/ipv6/conf/all/disable_ipv6");
    std::string value;
    in >> value;
    return value;
}

TEST(IPv6Off, OneBindingOneListener) {
    const std::string before = IPv6SwitchHere();
    FILE* probe = ::popen(MELVORIN_IPV6_OFF_PROBE " 2>&1", "r");
    ASSERT_NE(probe, nullptr);
    std::string output;
    char line[256];
    while (std::fgets(line, sizeof line, probe) != nullptr) output += line;
    const int status = ::pclose(probe);
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(output, "bindings=1 listeners=1 active=1 received=1\n");
    // This namespace still has IPv6 as it had.
    EXPECT_EQ(IPv6SwitchHere(), before);
    if (before == "0") {
        TIdUDPServer owner("owner");
        EXPECT_TRUE(TIdStack::Instance()->SupportsIPv6());
    }
}

}  // namespace
}  // namespace melvorin::net
