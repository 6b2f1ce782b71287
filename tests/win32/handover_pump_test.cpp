// The Windows hand-over pump under a native box's modal loop: datagrams are
// handled on the window's thread while the box is open, and closing the
// endpoint and dropping the pump while it is open returns.

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "net/udp_server.h"
#include "udp_peer.h"
#include "win32/handover_pump.h"

namespace melvorin::win32 {
namespace {

constexpr std::uint16_t kPort = 12345;
constexpr wchar_t kBoxTitle[] = L"Melvorin hand-over test";

void CloseBox() {
    if (HWND box = FindWindowW(nullptr, kBoxTitle)) PostMessageW(box, WM_CLOSE, 0, 0);
}

// What the handlers saw, and what the timer below closes.
struct State {
    std::unique_ptr<THandOverPump> pump = std::make_unique<THandOverPump>();
    std::unique_ptr<net::TIdUDPServer> server = std::make_unique<net::TIdUDPServer>(pump->HandOver(), "idpsrvr1");
    std::thread::id windowThread = std::this_thread::get_id();
    bool boxOpen = false;
    bool closed = false;
    int handled = 0;
    int handledBeforeClose = 0;
    int handledElsewhere = 0;  // off the window's thread, outside the box or after closing
};
State* gState = nullptr;

// As the window does at session end while a box is open: the endpoint, then
// the pump, with datagrams arriving all the while.
void CALLBACK CloseOnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    gState->handledBeforeClose = gState->handled;
    gState->server->SetActive(false);
    gState->closed = true;
    gState->server.reset();
    gState->pump.reset();
    CloseBox();
}

TEST(HandOverPump, DatagramsRunInAnOpenBoxAndClosingThereReturns) {
    State s;
    gState = &s;
    s.server->SetDefaultPort(kPort);
    s.server->OnUDPRead = [&s](net::TIdUDPListenerThread&, const TIdBytes&, net::TIdSocketHandle&) {
        ++s.handled;
        if (std::this_thread::get_id() != s.windowThread || !s.boxOpen || s.closed) ++s.handledElsewhere;
    };
    s.server->SetActive(true);
    testing::UdpPeer peer;
    ASSERT_TRUE(peer.Bind("127.0.0.1", 0));
    ASSERT_NE(SetTimer(nullptr, 0, 500, &CloseOnTimer), 0u);

    // Datagrams go out while the box is up; one still up after 10 s is
    // closed from here.
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        for (int i = 0; i < 1000 && !returned && FindWindowW(nullptr, kBoxTitle) == nullptr; ++i) Sleep(10);
        for (int i = 0; i < 10000 && !returned && FindWindowW(nullptr, kBoxTitle) != nullptr; ++i) {
            peer.SendToLoopback({0xFF, 0x00, 0x01, 0x01, 0x02}, kPort);
            Sleep(1);
        }
        CloseBox();
    });
    s.boxOpen = true;
    const int answer = MessageBoxW(nullptr, L"A box is open.", kBoxTitle, MB_OK);
    s.boxOpen = false;
    returned = true;
    sender.join();

    EXPECT_GT(answer, 0) << "the box did not come up";
    EXPECT_TRUE(s.closed);
    EXPECT_EQ(s.server, nullptr);
    EXPECT_GT(s.handledBeforeClose, 0) << "no datagram was handled while the box was open";
    EXPECT_EQ(s.handledElsewhere, 0);
}

}  // namespace
}  // namespace melvorin::win32
