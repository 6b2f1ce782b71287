// The Windows hand-over pump under a native box's modal loop: a datagram is
// handled on the window's thread while the box is open, and closing the
// endpoint (and dropping the pump) while it is open returns.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/udp_server.h"
#include "udp_peer.h"
#include "win32/handover_pump.h"

namespace melvorin::win32 {
namespace {

using melvorin::testing::UdpPeer;

constexpr std::uint16_t kPort = 12345;
constexpr wchar_t kBoxTitle[] = L"Melvorin hand-over test";
const TIdBytes kScanRequest = {0xFF, 0x00, 0x01, 0x01, 0x02};

void CloseBox() {
    if (HWND box = FindWindowW(nullptr, kBoxTitle)) PostMessageW(box, WM_CLOSE, 0, 0);
}

// Shows a native box on this thread until it is closed. Once it is up,
// `whileOpen` runs on another thread; a box still open 10 s later is closed
// from there. Returns whether the box came up and was not closed that way.
bool ShowBox(const std::function<void()>& whileOpen) {
    std::atomic<bool> returned{false};
    std::atomic<bool> forced{false};
    std::thread helper([&] {
        bool shown = false;
        for (int i = 0; i < 1000 && !returned && !(shown = FindWindowW(nullptr, kBoxTitle) != nullptr); ++i) Sleep(10);
        if (shown) whileOpen();
        for (int i = 0; i < 1000 && !returned; ++i) Sleep(10);
        if (!returned) {
            forced = true;
            CloseBox();
        }
    });
    const int answer = MessageBoxW(nullptr, L"A box is open.", kBoxTitle, MB_OK);
    returned = true;
    helper.join();
    return answer != 0 && !forced;
}

struct Fixture {
    Fixture() : pump(std::make_unique<THandOverPump>()) {
        server = std::make_unique<net::TIdUDPServer>(pump->HandOver(), "idpsrvr1");
        server->SetDefaultPort(kPort);
    }
    std::unique_ptr<THandOverPump> pump;
    std::unique_ptr<net::TIdUDPServer> server;
    UdpPeer peer;
};

TEST(HandOverPump, DatagramRunsOnTheWindowsThreadWhileABoxIsOpen) {
    Fixture f;
    const std::thread::id windowThread = std::this_thread::get_id();
    bool boxOpen = false;
    std::vector<TIdBytes> data;
    std::vector<std::thread::id> threads;
    std::vector<bool> inBox;
    f.server->OnUDPRead = [&](net::TIdUDPListenerThread&, const TIdBytes& bytes, net::TIdSocketHandle&) {
        data.push_back(bytes);
        threads.push_back(std::this_thread::get_id());
        inBox.push_back(boxOpen);
        CloseBox();
    };
    f.server->SetActive(true);
    ASSERT_TRUE(f.peer.Bind("127.0.0.1", 0));

    boxOpen = true;
    EXPECT_TRUE(ShowBox([&] { f.peer.SendToLoopback(kScanRequest, kPort); }))
        << "the box did not come up, or the datagram did not close it";
    boxOpen = false;
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0], kScanRequest);
    EXPECT_EQ(threads[0], windowThread);
    EXPECT_TRUE(inBox[0]);
    f.server->SetActive(false);
}

// What the timer below closes, while the box is open.
Fixture* gClosing = nullptr;
int* gHandled = nullptr;
int gHandledBeforeClose = 0;
bool gClosed = false;

void CALLBACK CloseOnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    gHandledBeforeClose = *gHandled;
    // As the window does at session end: the endpoint, then the pump, with
    // datagrams arriving all the while and hand-overs queued behind.
    gClosing->server->SetActive(false);
    gClosed = true;
    gClosing->server.reset();
    gClosing->pump.reset();
    CloseBox();
}

TEST(HandOverPump, ClosingWhileABoxIsOpenReturns) {
    Fixture f;
    int handled = 0;
    int handledAfterClose = 0;
    f.server->OnUDPRead = [&](net::TIdUDPListenerThread&, const TIdBytes&, net::TIdSocketHandle&) {
        ++handled;
        if (gClosed) ++handledAfterClose;
    };
    f.server->SetActive(true);
    ASSERT_TRUE(f.peer.Bind("127.0.0.1", 0));
    gClosing = &f;
    gHandled = &handled;
    gClosed = false;
    ASSERT_NE(SetTimer(nullptr, 0, 500, &CloseOnTimer), 0u);

    EXPECT_TRUE(ShowBox([&] {
        while (FindWindowW(nullptr, kBoxTitle) != nullptr) {
            f.peer.SendToLoopback(kScanRequest, kPort);
            Sleep(1);
        }
    }));
    gClosing = nullptr;
    EXPECT_TRUE(gClosed);
    EXPECT_EQ(f.server, nullptr);
    EXPECT_GT(gHandledBeforeClose, 0) << "no datagram was handled while the box was open";
    EXPECT_EQ(handledAfterClose, 0);
}

}  // namespace
}  // namespace melvorin::win32
