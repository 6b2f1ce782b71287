// The socket layer object: its usage count, address literals, host lookup,
// address texts, and the listeners' thread names.

#include <array>
#include <string>

#include <gtest/gtest.h>

#include "net/errors.h"
#include "net/listener.h"
#include "net/sockets.h"
#include "net/stack.h"
#include "net/handover.h"
#include "net/udp_server.h"

namespace melvorin::net {
namespace {

TEST(TIdStack, LivesFromFirstComponentToLast) {
    ASSERT_EQ(TIdStack::UsageCount(), 0);
    EXPECT_EQ(TIdStack::Instance(), nullptr);
    {
        THandOver handOver;
        TIdUDPServer first(handOver, "a");
        EXPECT_EQ(TIdStack::UsageCount(), 1);
        TIdStack* stack = TIdStack::Instance();
        ASSERT_NE(stack, nullptr);
        {
            TIdUDPServer second(handOver, "b");
            EXPECT_EQ(TIdStack::UsageCount(), 2);
            EXPECT_EQ(TIdStack::Instance(), stack);
        }
        EXPECT_EQ(TIdStack::UsageCount(), 1);
        EXPECT_EQ(TIdStack::Instance(), stack);
    }
    EXPECT_EQ(TIdStack::UsageCount(), 0);
    EXPECT_EQ(TIdStack::Instance(), nullptr);
}

TEST(TIdStack, DottedLiterals) {
    const std::pair<const char*, bool> literals[] = {
        {"255.255.255.255", true}, {"0.0.0.0", true}, {"127.0.0.1", true},
        {" 10 . 1.\t2 .3 ", true},  // blanks around each part are trimmed
        {"010.001.000.255", true},  {"1.2.3", false}, {"1.2.3.256", false}, {"1.2.3.4.", false},
        {"1.2.3.4.5", false},       {"1..3.4", false}, {"1.2.3.-1", false}, {"1.2.3.4x", false},
        {"1.2 3.4.5", false},       {"", false},       {"localhost", false}, {"99999999999999999999.1.1.1", false},
    };
    for (const auto& [text, literal] : literals) EXPECT_EQ(TIdStack::IsIP(text), literal) << "'" << text << "'";

    const auto bytes = TIdStack::DottedBytes(" 192 .168.000.7");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, (std::array<std::uint8_t, 4>{192, 168, 0, 7}));
}

TEST(TIdStack, ResolveKeepsLiteralsAndLooksUpTheRest) {
    THandOver handOver;
    TIdUDPServer owner(handOver, "owner");
    const TIdStack& stack = *TIdStack::Instance();
    EXPECT_EQ(stack.ResolveHost("255.255.255.255"), "255.255.255.255");
    // A literal is used unchanged, blanks and leading zeros included.
    EXPECT_EQ(stack.ResolveHost(" 127.0.0.001"), " 127.0.0.001");
    EXPECT_EQ(stack.ResolveHost("localhost"), "127.0.0.1");
    // Three numbers are no literal: the system's lookup reads them as 1.2.0.3.
    EXPECT_EQ(stack.ResolveHost("1.2.3"), "1.2.0.3");
    for (const char* host : {"1.2.3.256", "no-such-host.invalid", ""}) {
        try {
            (void)stack.ResolveHost(host);
            ADD_FAILURE() << host << " resolved";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), 11001) << host;
            EXPECT_EQ(e.Message(), "Socket Error # 11001\r\nHost not found.");
        }
    }
}

TEST(TIdStack, AddressTexts) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(1902);
    inet_pton(AF_INET, "10.0.20.7", &v4.sin_addr);
    EXPECT_EQ(TIdStack::AddressText(reinterpret_cast<sockaddr*>(&v4)), "10.0.20.7");
    EXPECT_EQ(TIdStack::AddressPort(reinterpret_cast<sockaddr*>(&v4)), 1902);

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(12345);
    inet_pton(AF_INET6, "fe80::ab:cdef:0:1", &v6.sin6_addr);
    EXPECT_EQ(TIdStack::AddressText(reinterpret_cast<sockaddr*>(&v6)), "FE80:0:0:0:AB:CDEF:0:1");
    EXPECT_EQ(TIdStack::AddressPort(reinterpret_cast<sockaddr*>(&v6)), 12345);
    inet_pton(AF_INET6, "::1", &v6.sin6_addr);
    EXPECT_EQ(TIdStack::AddressText(reinterpret_cast<sockaddr*>(&v6)), "0:0:0:0:0:0:0:1");
}

TEST(TIdUDPListenerThread, ShortNamesFitFifteenCharacters) {
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName("idpsrvr1 Listener #1", 15), "idpsrvr1 #1");
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName("idpsrvr1 Listener #2", 15), "idpsrvr1 #2");
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName("a Listener #1", 15), "a Listener #1");
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName("averyveryverylongname Listener #12", 15), "averyveryve #12");
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName(" Listener #1", 15), " Listener #1");
    EXPECT_EQ(TIdUDPListenerThread::ShortThreadName("some thread name that is long", 15), "some thread nam");
}

}  // namespace
}  // namespace melvorin::net
