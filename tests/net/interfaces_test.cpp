// The host's interfaces and the scan's way out of each of them, on real
// links: every case runs in a fresh network namespace of its own with veth
// and tun links made there, and a second endpoint on the search port stands
// in for the devices (it sees on which interface each copy arrived).

#include <net/if.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "net/errors.h"
#include "net/handover.h"
#include "net/interfaces.h"
#include "net/udp_server.h"
#include "net_test_util.h"
#include "netns_links.h"

namespace melvorin::net {
namespace {

using melvorin::testing::Ip;
using Lines = std::vector<std::string>;

constexpr std::uint16_t kSearchPort = 1902;
const TIdBytes kScanRequest = {0xFF, 0x00, 0x01, 0x01, 0x02};

class Segments : public ::testing::Test {
protected:
    void SetUp() override {
        if (!netns.Problem().empty()) GTEST_SKIP() << "no namespace of our own: " << netns.Problem();
        tool.SetBroadcastEnabled(true);
        tool.SetDefaultPort(12345);
        devices.SetDefaultPort(kSearchPort);
        tool.OnLog = devices.OnLog = [this](const TIdLogEntry& e) {
            std::lock_guard<std::mutex> lock(logLock);
            (e.Kind == TIdLogKind::Sent ? sent : received).push_back(Line(e.Interface, e.PeerIP, e.PeerPort, e.Data));
        };
        devices.OnUDPRead = [this](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& binding) {
            arrivals.push_back(Line(binding.PeerInterface + "#" + std::to_string(binding.PeerInterfaceIndex),
                                    binding.PeerIP, binding.PeerPort, data));
        };
    }

    // "<interface> <peer>:<port> <bytes>".
    static std::string Line(const std::string& interface, const std::string& ip, std::uint16_t port,
                            const TIdBytes& data) {
        return interface + " " + ip + ":" + std::to_string(port) + " " + std::to_string(data.size());
    }
    static std::string Tagged(const char* name) { return std::string(name) + "#" + std::to_string(if_nametoindex(name)); }

    // Two broadcast interfaces (the first with a second address), and what a
    // scan must skip: one down, one without IPv4, one that cannot broadcast.
    void MakeLinks() {
        ASSERT_TRUE(melvorin::testing::AddBroadcastLink("mlva", "10.201.0.1"));
        ASSERT_TRUE(Ip("addr add 10.201.10.1/24 dev mlva label mlva:1"));
        ASSERT_TRUE(melvorin::testing::AddBroadcastLink("mlvb", "10.201.1.1"));
        ASSERT_TRUE(melvorin::testing::AddBroadcastLink("mlvdown", "10.201.2.1"));
        ASSERT_TRUE(Ip("link set mlvdown down"));
        ASSERT_TRUE(Ip("link add mlvnov4 type veth peer name mlvnov4p") && Ip("link set mlvnov4 up"));
        ASSERT_TRUE(Ip("tuntap add dev mlvtun mode tun") && Ip("addr add 10.201.3.1/24 dev mlvtun") &&
                    Ip("link set mlvtun up"));
        devices.SendDatagram("127.0.0.1", 9, {});  // opens the devices' endpoint
    }

    // The arrivals once `count` came and a copy too many had time to follow.
    Lines Arrivals(std::size_t count) {
        EXPECT_TRUE(test::PumpUntil(test::LoopOf(handOver), [&] { return arrivals.size() >= count; }));
        test::PumpFor(test::LoopOf(handOver), 150);
        Lines got;
        got.swap(arrivals);
        return got;
    }

    // First made, last gone: the endpoints' sockets live in it.
    melvorin::testing::ScopedNetns netns;
    THandOver handOver;  // this thread is its window's thread
    TIdUDPServer devices{handOver, "devices"};
    TIdUDPServer tool{handOver, "idpsrvr1"};
    Lines arrivals;
    std::mutex logLock;
    Lines sent, received;
};

// The scan leaves by every broadcast interface although no route leads
// anywhere: same bytes, source port 12345, one copy each. A join's send
// names one interface; an ordinary address takes the route.
TEST_F(Segments, ScanGoesOutOfEachBroadcastInterfaceOnceAndAJoinOutOfOne) {
    EXPECT_TRUE(BroadcastInterfaces().empty());  // loopback only
    MakeLinks();
    Lines found;
    for (const TIdInterface& i : BroadcastInterfaces()) found.push_back(Tagged(i.Name.c_str()) + " " + i.Address);
    EXPECT_EQ(found, (Lines{Tagged("mlva") + " 10.201.0.1", Tagged("mlvb") + " 10.201.1.1"}));
    EXPECT_EQ(InterfaceName(if_nametoindex("mlvb")), "mlvb");
    EXPECT_EQ(InterfaceName(0) + InterfaceName(999999), "");

    tool.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
    EXPECT_EQ(Arrivals(2), (Lines{Tagged("mlva") + " 10.201.0.1:12345 5", Tagged("mlvb") + " 10.201.1.1:12345 5"}));
    EXPECT_EQ(tool.LastSendInterfaces(), (Lines{"mlva", "mlvb"}));
    {
        // The listeners write the log under its lock.
        std::lock_guard<std::mutex> lock(logLock);
        EXPECT_EQ(sent, (Lines{"mlva 255.255.255.255:1902 5", "mlvb 255.255.255.255:1902 5"}));
        EXPECT_EQ(received, (Lines{"mlva 10.201.0.1:12345 5", "mlvb 10.201.1.1:12345 5"}));
    }

    const TIdBytes join = {0xFF, 0x00, 0x04, 0x02, 0x00, 0x0D, 0x0A, 0x13};
    tool.SendDatagramOn(if_nametoindex("mlvb"), "255.255.255.255", kSearchPort, join);
    EXPECT_EQ(Arrivals(1), Lines{Tagged("mlvb") + " 10.201.1.1:12345 8"});
    EXPECT_EQ(tool.LastSendInterfaces(), Lines{"mlvb"});

    // Both bindings know the arrival interface.
    tool.SendDatagram("127.0.0.1", kSearchPort, kScanRequest);
    EXPECT_EQ(tool.LastSendInterfaces(), Lines{});
    test::UdpPeer v6(AF_INET6);
    ASSERT_TRUE(v6.SendToLoopback({1}, kSearchPort));
    const Lines fromLoopback = Arrivals(2);
    EXPECT_EQ(fromLoopback.size(), 2u);
    for (const std::string& line : fromLoopback) EXPECT_EQ(line.rfind("lo#1 ", 0), 0u) << line;
}

// The send fails only where it failed out of every interface, with the first
// failure's error; with none that can broadcast it goes by the route as it
// always did, and fails where there is none.
TEST_F(Segments, SendFailsOnlyWhenEveryInterfaceFailed) {
    MakeLinks();
    tool.SetBroadcastEnabled(false);
    tool.SendDatagram("127.0.0.1", kSearchPort, {});
    try {
        tool.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        ADD_FAILURE() << "broadcast sent without permission";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.LastError(), 10013);
    }
    // Each interface it could not go out of, with why.
    std::vector<std::string> failed;
    for (const TIdSendFailure& f : tool.LastSendFailures()) failed.push_back(f.Interface + ": " + f.Message);
    EXPECT_EQ(failed, (std::vector<std::string>{"mlva: Socket Error # 10013\r\nAccess denied.",
                                                "mlvb: Socket Error # 10013\r\nAccess denied."}));
    tool.SetBroadcastEnabled(true);
    EXPECT_THROW(tool.SendDatagramOn(999999, "255.255.255.255", kSearchPort, kScanRequest), EIdSocketError);

    ASSERT_TRUE(Ip("link del mlva") && Ip("link del mlvb"));
    try {
        tool.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        ADD_FAILURE() << "sent with no route and no interface";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
    }
    EXPECT_EQ(Arrivals(0), Lines{});
}

}  // namespace
}  // namespace melvorin::net
