// The Win32 window driven with messages, as a user's input arrives: its
// layout and tab order against the shared table, the key filters, a list
// reply shown as rows, the exact join bytes from a double-click and from
// Enter, a join result's notice, and a real box open while datagrams arrive
// and the window is closed.

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/errors.h"
#include "protocol/state.h"
#include "pump.h"
#include "udp_peer.h"
#include "win32/boxes.h"
#include "win32/form2.h"
#include "win32/handover_pump.h"
#include "win32/text.h"
#include "window/layout.h"
#include "window/rules.h"
#include "wire.h"

namespace melvorin::win32 {
namespace {

using testing::BytesOf;
using testing::JoinRequest;
using testing::JoinResult;
using testing::ListReply;
using testing::Octets;
using testing::PumpUntil;

class RecordingBoxes : public window::IBoxes {
public:
    void ShowNotice(const std::string& text) override {
        notices.push_back(Wide(text));
        if (onNotice) onNotice();
    }
    void ShowError(const std::string& text) override { errors.push_back(Wide(text)); }
    void Beep() override { ++beeps; }
    std::vector<std::wstring> notices, errors;
    int beeps = 0;
    std::function<void()> onNotice;  // runs while the notice is "open"
};

// This thread's messages dispatched as the program's loop does, for
// PumpUntil; the loop ends at a WM_QUIT.
testing::PumpLoop MessagesOf(TForm2& form) {
    auto run = [&form] {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) return false;
            if (!form.PreTranslate(m)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
        }
        return true;
    };
    return {run, [](int ms) { MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(ms), QS_ALLINPUT); }};
}
constexpr int kPumpMs = 5000;

std::wstring TextOf(HWND w) {
    wchar_t text[256] = {};
    GetWindowTextW(w, text, 256);
    return text;
}

// A failure before the window exists (the socket layer, the window itself)
// is shown in the error box, by the error text rule, and ends the program.
TEST(Win32Start, FailureBeforeTheWindowIsShown) {
    RecordingBoxes boxes;
    const auto fail = [] { throw net::EIdStackInitializationFailed("Error on loading Winsock2 library: Network down"); };
    EXPECT_EQ(ShowingFailures(boxes, fail), 1);
    EXPECT_EQ(ShowingFailures(boxes, [] { throw std::system_error(8, std::system_category(), "CreateWindowExW"); }), 1);
    EXPECT_EQ(ShowingFailures(boxes, [] {}), 0);
    ASSERT_EQ(boxes.errors.size(), 2u);
    EXPECT_EQ(boxes.errors[0], L"Error on loading Winsock2 library: Network down.");
    EXPECT_EQ(boxes.errors[1].rfind(L"CreateWindowExW: ", 0), 0u) << boxes.errors[1];
}

class Win32Form : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseState();
        window::SetApplicationTitle("Melvorin");
        ASSERT_TRUE(device.Bind("", 1902));
        form = std::make_unique<TForm2>(boxes, pump.HandOver());
    }
    void TearDown() override {
        form.reset();
        ReleaseState();
    }
    HWND C(window::TMember member) { return form->Control(member); }
    // The next datagram the device receives, or nothing within 3 s.
    Octets Received() {
        for (int i = 0; i < 300; ++i) {
            if (auto d = device.Receive(0)) return d->data;
            int turns = 0;
            PumpUntil(MessagesOf(*form), [&] { return ++turns > 1; }, kPumpMs);
        }
        return {};
    }
    void ShowListOf(const testing::Records& records) {
        form->FormCreate();
        ASSERT_EQ(Received(), testing::kScanRequestBytes);
        ASSERT_TRUE(device.SendToLoopback(ListReply(records)));
        const auto listed = [&] { return ListView_GetItemCount(C("lvSsid")) == int(records.size()); };
        ASSERT_TRUE(PumpUntil(MessagesOf(*form), listed, kPumpMs));
    }

    THandOverPump pump;
    RecordingBoxes boxes;
    testing::UdpPeer device;
    std::unique_ptr<TForm2> form;
};

TEST_F(Win32Form, LayoutTabOrderFocusAndList) {
    form->ShowCentred();
    const double s = form->Scale();
    for (window::TMember member : window::kMembers) {
        const window::TPlace& at = member.Place();
        RECT r{};
        GetWindowRect(C(member), &r);
        MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, window::Scaled(at.left, s)) << at.name;
        EXPECT_EQ(r.top, window::Scaled(at.top, s)) << at.name;
        EXPECT_EQ(r.right - r.left, window::Scaled(at.width, s)) << at.name;
        EXPECT_EQ(r.bottom - r.top, window::Scaled(at.height, s)) << at.name;
    }
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, window::Scaled(window::kClientWidth, s));
    EXPECT_EQ(client.bottom, window::Scaled(window::kClientHeight + window::kStatusHeight, s));
    EXPECT_EQ(TextOf(form->Handle()), L"Melvorin");
    EXPECT_EQ(TextOf(C("btnSearch")), L"重获SSID");
    EXPECT_EQ(TextOf(C("lbl_SearchPort")), L"搜索端口");
    EXPECT_EQ(TextOf(C("edt_SearchPort")), L"1902");

    // The focus starts on the scan button; Tab visits the key box, the
    // list, the search-port box and comes back.
    EXPECT_EQ(GetFocus(), C("btnSearch"));
    std::vector<HWND> order;
    for (HWND w = C("btnSearch"); order.size() < 4;) order.push_back(w = GetNextDlgTabItem(form->Handle(), w, FALSE));
    EXPECT_EQ(order, (std::vector<HWND>{C("edtKey"), C("lvSsid"), C("edt_SearchPort"), C("btnSearch")}));

    HWND list = C("lvSsid");
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL), LVS_REPORT | LVS_SINGLESEL);
    EXPECT_EQ(ListView_GetExtendedListViewStyle(list) & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              DWORD(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), window::Scaled(window::kSsidColumnWidth, s));
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), window::Scaled(window::kStrengthColumnWidth, s));
    wchar_t caption[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = caption;
    column.cchTextMax = 64;
    ASSERT_TRUE(ListView_GetColumn(list, 0, &column));
    EXPECT_EQ(std::wstring(caption), L"SSID 双击即可连接↓");
    ASSERT_TRUE(ListView_GetColumn(list, 1, &column));
    EXPECT_EQ(std::wstring(caption), L"信号强度");
    EXPECT_EQ(TextOf(list), L"Networks");  // its name for a screen reader
}

// Characters typed into the boxes, and the key box's colours with the focus.
TEST_F(Win32Form, KeyFiltersAndKeyBoxColours) {
    HWND port = C("edt_SearchPort"), key = C("edtKey");
    auto type = [](HWND box, std::u16string keys) {
        SendMessageW(box, EM_SETSEL, 0, -1);
        for (char16_t k : keys) SendMessageW(box, WM_CHAR, k, 1);
    };
    type(port, u"7a\x16\r");  // a letter, Ctrl+V and Enter beep, each
    EXPECT_EQ(TextOf(port), L"7");
    EXPECT_EQ(boxes.beeps, 3);
    type(port, u"5\b");
    EXPECT_EQ(TextOf(port), L"");
    EXPECT_EQ(boxes.beeps, 3);
    type(key, u"k\u00A0\u4E2D\u009Fy");  // from U+00A0 on: dropped, silently
    EXPECT_EQ(TextOf(key), L"k\u009Fy");
    EXPECT_EQ(boxes.beeps, 3);

    form->ShowCentred();
    HDC dc = GetDC(key);
    auto background = [&] {
        SendMessageW(form->Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(key));
        return GetBkColor(dc);
    };
    SetBkColor(dc, RGB(1, 2, 3));
    SetFocus(key);
    EXPECT_EQ(background(), COLORREF(0x00EAF3DA));
    SetFocus(C("btnSearch"));
    EXPECT_EQ(background(), GetSysColor(COLOR_WINDOW));
    ReleaseDC(key, dc);
}

// The key never leaves its box: copying and cutting it, by message or by the
// keys' control characters, leave the box and the clipboard as they were
// (the search-port box still copies).
TEST_F(Win32Form, KeyBoxRefusesCopyAndCut) {
    HWND key = C("edtKey"), port = C("edt_SearchPort");
    const auto clipboard = [](const wchar_t* text) {
        std::wstring got;
        if (!OpenClipboard(nullptr)) return got;
        if (text != nullptr) {
            EmptyClipboard();
            const std::size_t bytes = (lstrlenW(text) + 1) * sizeof(wchar_t);
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
            CopyMemory(GlobalLock(memory), text, bytes);
            GlobalUnlock(memory);
            SetClipboardData(CF_UNICODETEXT, memory);
        } else if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            got = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return got;
    };
    clipboard(L"before");
    SendMessageW(key, EM_SETSEL, 0, -1);
    SendMessageW(key, WM_COPY, 0, 0);
    SendMessageW(key, WM_CHAR, 0x03, 1);  // Ctrl+C
    EXPECT_EQ(clipboard(nullptr), L"before");
    SendMessageW(key, WM_CUT, 0, 0);
    SendMessageW(key, WM_CHAR, 0x18, 1);  // Ctrl+X
    EXPECT_EQ(TextOf(key), L"12345678");
    EXPECT_EQ(clipboard(nullptr), L"before");
    SendMessageW(port, EM_SETSEL, 0, -1);
    SendMessageW(port, WM_COPY, 0, 0);
    EXPECT_EQ(clipboard(nullptr), L"1902");
}

// The task bar shows the application's window, titled with the application
// title and never seen itself, which owns the main window: that one has no
// button of its own. Both go when the window is hidden.
TEST_F(Win32Form, TheTaskBarButtonIsTheApplicationsWindow) {
    window::SetApplicationTitle("Provision");
    form.reset();
    form = std::make_unique<TForm2>(boxes, pump.HandOver());
    form->ShowCentred();
    const HWND owner = GetWindow(form->Handle(), GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(owner, form->AppHandle());
    EXPECT_EQ(TextOf(owner), L"Provision");
    EXPECT_EQ(TextOf(form->Handle()), L"Melvorin");
    EXPECT_EQ(GetWindowLongW(form->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    EXPECT_EQ(GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindow(owner, GW_OWNER), nullptr);
    RECT r{};
    GetWindowRect(owner, &r);
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_TRUE(IsWindowVisible(owner));
    // The button's Close closes the window.
    PostMessageW(owner, WM_CLOSE, 0, 0);
    PumpUntil(MessagesOf(*form), [&] { return !IsWindowVisible(owner); }, kPumpMs);  // or its WM_QUIT
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsWindowVisible(owner));
}

// A list reply shown as rows; a double-click on a row and Enter on the
// current one send the exact join request; the result opens the notice.
TEST_F(Win32Form, ListRowsJoinBytesAndNotice) {
    form->ShowCentred();
    ShowListOf({{BytesOf("HomeNet"), 82}, {Octets{0xB0, 0xEC, 0xB9, 0xAB}, 67}});
    HWND list = C("lvSsid");
    wchar_t cell[64] = {};
    ListView_GetItemText(list, 1, 0, cell, 64);
    EXPECT_EQ(std::wstring(cell), L"办公");
    ListView_GetItemText(list, 1, 1, cell, 64);
    EXPECT_EQ(std::wstring(cell), L"67%");

    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    RECT row{};
    ListView_GetItemRect(list, 1, &row, LVIR_BOUNDS);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row.left + 5, (row.top + row.bottom) / 2));
    EXPECT_EQ(Received(), JoinRequest({0xB0, 0xEC, 0xB9, 0xAB}, BytesOf("12345678")));

    // Tabbed into the list, nothing selected: Enter joins the current row.
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(Received(), JoinRequest(BytesOf("HomeNet"), BytesOf("12345678")));

    ASSERT_TRUE(device.SendToLoopback(JoinResult(0x01, 0x01)));
    ASSERT_TRUE(PumpUntil(MessagesOf(*form), [&] { return !boxes.notices.empty(); }, kPumpMs));
    EXPECT_EQ(boxes.notices, std::vector<std::wstring>{L"提交成功，请检查设备状态"});
    EXPECT_EQ(boxes.errors, std::vector<std::wstring>{});
}

// The program's own boxes: a failed scan's error is a real message box;
// a list reply is handled in its loop; closing the window while it is open
// ends the box and the message loop, with the endpoint closed.
TEST_F(Win32Form, ClosingWithARealBoxOpenReturns) {
    TSystemBoxes real;
    form.reset();
    form = std::make_unique<TForm2>(real, pump.HandOver());
    real.SetOwner(form->Handle());
    form->ShowCentred();
    ShowListOf({{BytesOf("HomeNet"), 82}});
    SetWindowTextW(C("edt_SearchPort"), L"");

    std::atomic<bool> returned{false};
    std::wstring boxText, boxButton;
    int rowsWhileOpen = -1;
    HWND window = form->Handle(), list = C("lvSsid");
    std::thread user([&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !returned && (box = FindWindowW(L"#32770", L"Melvorin")) == nullptr; ++i) Sleep(10);
        if (box == nullptr) return;
        wchar_t text[128] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 128);
        boxText = text;
        GetDlgItemTextW(box, IDOK, text, 128);
        boxButton = text;
        device.SendToLoopback(ListReply({{BytesOf("A"), 1}, {BytesOf("B"), 2}, {BytesOf("C"), 3}}));
        for (int i = 0; i < 300 && (rowsWhileOpen = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) != 3; ++i) Sleep(10);
        PostMessageW(window, WM_CLOSE, 0, 0);
    });
    PostMessageW(C("btnSearch"), BM_CLICK, 0, 0);
    form->RunEventLoop();  // returns once the window is closed
    returned = true;
    user.join();
    EXPECT_EQ(boxText, L"'' is not a valid integer value.");
    EXPECT_EQ(boxButton, L"OK");
    EXPECT_EQ(rowsWhileOpen, 3);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_FALSE(form->Logic().Endpoint().Active());
}

}  // namespace
}  // namespace melvorin::win32
