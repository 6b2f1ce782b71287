// The host's interfaces and the scan's way out of each of them, on real
// links: every case runs in a fresh network namespace of its own, with veth
// links made there, and a second endpoint on the search port standing in for
// the devices (it sees on which interface each copy arrived).

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

using melvorin::testing::AddBroadcastLink;
using melvorin::testing::Ip;
using test::PumpFor;
using test::PumpUntil;

constexpr std::uint16_t kSearchPort = 1902;
const TIdBytes kScanRequest = {0xFF, 0x00, 0x01, 0x01, 0x02};

struct Arrival {
    TIdBytes data;
    std::string peer;  // "address:port"
    std::string interface;
    unsigned index = 0;
};

class Segments : public ::testing::Test {
protected:
    void SetUp() override {
        if (!netns.Problem().empty()) GTEST_SKIP() << "no namespace of our own: " << netns.Problem();
        SetMainThread();
        tool.SetBroadcastEnabled(true);
        tool.SetDefaultPort(12345);
        tool.OnLog = [this](const TIdLogEntry& entry) { Log(entry); };
        devices.SetDefaultPort(kSearchPort);
        devices.OnLog = [this](const TIdLogEntry& entry) { Log(entry); };
        devices.OnUDPRead = [this](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& binding) {
            arrivals.push_back({data, binding.PeerIP + ":" + std::to_string(binding.PeerPort),
                                binding.PeerInterface, binding.PeerInterfaceIndex});
        };
    }

    // The broadcast interfaces of the tests, and the ones a scan must skip:
    // one down, one without IPv4, one that cannot broadcast (a tun link).
    void MakeLinks() {
        ASSERT_TRUE(AddBroadcastLink("mlva", "10.201.0.1"));
        ASSERT_TRUE(Ip("addr add 10.201.10.1/24 dev mlva label mlva:1"));
        ASSERT_TRUE(AddBroadcastLink("mlvb", "10.201.1.1"));
        ASSERT_TRUE(AddBroadcastLink("mlvdown", "10.201.2.1"));
        ASSERT_TRUE(Ip("link set mlvdown down"));
        ASSERT_TRUE(Ip("link add mlvnov4 type veth peer name mlvnov4p"));
        ASSERT_TRUE(Ip("link set mlvnov4 up"));
        if (Ip("tuntap add dev mlvtun mode tun")) {
            ASSERT_TRUE(Ip("addr add 10.201.3.1/24 dev mlvtun"));
            ASSERT_TRUE(Ip("link set mlvtun up"));
        }
        // The devices' endpoint listens on the search port.
        devices.SendDatagram("127.0.0.1", 9, {});
    }

    // Waits for `count` arrivals, then a little longer for a copy too many.
    void AwaitArrivals(std::size_t count) {
        EXPECT_TRUE(PumpUntil([&] { return arrivals.size() >= count; }));
        PumpFor(150);
        EXPECT_EQ(arrivals.size(), count);
    }

    // "<interface> <peer>:<port> <bytes>" per datagram sent or received.
    void Log(const TIdLogEntry& e) {
        std::lock_guard<std::mutex> lock(logLock);
        log[e.Kind == TIdLogKind::Sent].push_back(e.Interface + " " + e.PeerIP + ":" + std::to_string(e.PeerPort) +
                                                  " " + std::to_string(e.Data.size()));
    }

    // First made, last gone: the endpoints' sockets live in it.
    melvorin::testing::ScopedNetns netns;
    TIdUDPServer devices{"devices"};
    TIdUDPServer tool{"idpsrvr1"};
    std::vector<Arrival> arrivals;
    std::mutex logLock;
    std::vector<std::string> log[2];  // received, sent
};

TEST_F(Segments, OnlyUpIPv4BroadcastInterfacesCountEachOnceInKernelOrder) {
    EXPECT_TRUE(BroadcastInterfaces().empty());  // loopback only
    MakeLinks();
    const auto found = BroadcastInterfaces();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Name, "mlva");
    EXPECT_EQ(found[0].Address, "10.201.0.1");
    EXPECT_EQ(found[0].Index, if_nametoindex("mlva"));
    EXPECT_EQ(found[1].Name, "mlvb");
    EXPECT_EQ(found[1].Address, "10.201.1.1");
    EXPECT_LT(found[0].Index, found[1].Index);

    EXPECT_EQ(InterfaceName(found[1].Index), "mlvb");
    EXPECT_EQ(InterfaceName(1), "lo");
    EXPECT_EQ(InterfaceName(0), "");
    EXPECT_EQ(InterfaceName(999999), "");
}

// The scan leaves by every broadcast interface, although no route leads
// anywhere: same bytes, source port 12345, one copy each; the join's send
// names one interface.
TEST_F(Segments, ScanGoesOutOfEveryBroadcastInterfaceAndAJoinOutOfOne) {
    MakeLinks();
    tool.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
    AwaitArrivals(2);
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(arrivals[0].data, kScanRequest);
    EXPECT_EQ(arrivals[1].data, kScanRequest);
    EXPECT_EQ(arrivals[0].peer, "10.201.0.1:12345");
    EXPECT_EQ(arrivals[1].peer, "10.201.1.1:12345");
    EXPECT_EQ(arrivals[0].interface, "mlva");
    EXPECT_EQ(arrivals[1].interface, "mlvb");
    EXPECT_EQ(arrivals[1].index, if_nametoindex("mlvb"));
    EXPECT_EQ(tool.LastSendInterfaces(), (std::vector<std::string>{"mlva", "mlvb"}));
    EXPECT_EQ(log[1], (std::vector<std::string>{"mlva 255.255.255.255:1902 5", "mlvb 255.255.255.255:1902 5"}));
    EXPECT_EQ(log[0],
              (std::vector<std::string>{"mlva 10.201.0.1:12345 5", "mlvb 10.201.1.1:12345 5"}));

    arrivals.clear();
    const TIdBytes join = {0xFF, 0x00, 0x04, 0x02, 0x00, 0x0D, 0x0A, 0x13};
    tool.SendDatagramOn(if_nametoindex("mlvb"), "255.255.255.255", kSearchPort, join);
    AwaitArrivals(1);
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_EQ(arrivals[0].data, join);
    EXPECT_EQ(arrivals[0].interface, "mlvb");
    EXPECT_EQ(tool.LastSendInterfaces(), std::vector<std::string>{"mlvb"});

    // A datagram to an ordinary address takes the route; both bindings
    // know the arrival interface.
    arrivals.clear();
    tool.SendDatagram("127.0.0.1", kSearchPort, kScanRequest);
    EXPECT_EQ(tool.LastSendInterfaces(), std::vector<std::string>{});
    test::UdpPeer v6(AF_INET6);
    ASSERT_TRUE(v6.SendToLoopback({1}, kSearchPort));
    AwaitArrivals(2);
    for (const Arrival& a : arrivals) EXPECT_EQ(a.interface + " " + std::to_string(a.index), "lo 1") << a.peer;
}

// The send fails only where it failed out of every interface, with the first
// failure's error; with none to broadcast from it goes by the route as it
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
    tool.SetBroadcastEnabled(true);
    EXPECT_THROW(tool.SendDatagramOn(999999, "255.255.255.255", kSearchPort, kScanRequest), EIdSocketError);

    ASSERT_TRUE(Ip("link del mlva"));
    ASSERT_TRUE(Ip("link del mlvb"));
    try {
        tool.SendDatagram("255.255.255.255", kSearchPort, kScanRequest);
        ADD_FAILURE() << "sent with no route and no interface";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
    }
    PumpFor(100);
    EXPECT_TRUE(arrivals.empty());
}

}  // namespace
}  // namespace melvorin::net
