// Sending into a full send buffer. Run by tests/win32/run_send_wait.sh,
// which holds the loopback to a slow rate so that sent datagrams stay queued
// and the endpoint's send buffer fills up.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "net/errors.h"
#include "net/handover.h"
#include "net/sockets.h"
#include "net/udp_server.h"
#include "udp_peer.h"

namespace melvorin::net {
namespace {

class FullSendBuffer : public ::testing::Test {
protected:
    // Opens the endpoint with a send buffer of a few datagrams.
    void SetUp() override {
        ASSERT_TRUE(peer.Bind("127.0.0.1", 0));
        server.SendDatagram("127.0.0.1", peer.LocalPort(), {});
        const int size = 4096;
        ASSERT_EQ(setsockopt(server.Bindings()[0].Handle(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size),
                             sizeof size),
                  0);
    }
    void Send(std::size_t size, int fill) {
        server.SendDatagram("127.0.0.1", peer.LocalPort(), TIdBytes(size, static_cast<std::uint8_t>(fill)));
    }

    testing::UdpPeer peer;
    THandOver handOver;
    TIdUDPServer server{handOver, "idpsrvr1"};
};

TEST_F(FullSendBuffer, SendWaitsForRoom) {
    for (int i = 0; i < 40; ++i) ASSERT_NO_THROW(Send(1400, i)) << i;
    for (int i = 0; i < 40; ++i) {
        const auto got = peer.Receive(5000);
        ASSERT_TRUE(got) << i;
        EXPECT_EQ(got->data, TIdBytes(1400, static_cast<std::uint8_t>(i)));
    }
}

// The queue drains far slower than a send waits: only the socket's closing
// can end the wait early, and the send then meets a closed socket.
TEST_F(FullSendBuffer, ClosingTheSocketEndsAWaitingSend) {
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server.Bindings()[0].CloseSocket();
    });
    EXPECT_THROW(for (int i = 0; i < 3; ++i) Send(14000, 1), EIdNotASocket);
    closer.join();
}

}  // namespace
}  // namespace melvorin::net
