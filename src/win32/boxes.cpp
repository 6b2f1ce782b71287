#include "win32/boxes.h"

#include "protocol/errors.h"
#include "win32/text.h"
#include "window/error_text.h"
#include "window/rules.h"

namespace melvorin::win32 {

namespace {

// The box as it comes up: centred on the primary screen, its button "OK"
// whatever the system's language. The hook waits for the box itself (a
// dialog window): another window of the thread that comes to the front
// first is left as it is.
HHOOK gHook = nullptr;

bool IsDialogWindow(HWND window) {
    wchar_t name[8] = {};
    return GetClassNameW(window, name, 8) > 0 && lstrcmpW(name, L"#32770") == 0;
}

LRESULT CALLBACK ShapeBox(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = gHook;
    const HWND box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && IsDialogWindow(box)) {
        UnhookWindowsHookEx(gHook);
        gHook = nullptr;
        SetDlgItemTextW(box, IDOK, L"OK");
        RECT r{};
        GetWindowRect(box, &r);
        SetWindowPos(box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// A box owned by a window not shown yet (the first scan's error) has no
// owner: it is modal to the thread's windows instead.
UINT Show(HWND owner, const std::wstring& text, UINT style) {
    if (owner != nullptr && !IsWindowVisible(owner)) owner = nullptr;
    if (owner == nullptr) style |= MB_TASKMODAL;
    const std::wstring caption = Wide(window::ApplicationTitle());
    const bool hooked = gHook == nullptr;
    if (hooked) gHook = SetWindowsHookExW(WH_CBT, &ShapeBox, nullptr, GetCurrentThreadId());
    const auto answer = static_cast<UINT>(MessageBoxW(owner, text.c_str(), caption.c_str(), style | MB_OK));
    // A box that never came up leaves no hook behind for a later window.
    if (hooked && gHook != nullptr) {
        UnhookWindowsHookEx(gHook);
        gHook = nullptr;
    }
    return answer;
}

}  // namespace

void TSystemBoxes::ShowNotice(const std::string& text) { Show(owner_, Wide(text), 0); }

void TSystemBoxes::ShowError(const std::string& text) { Show(owner_, Wide(text), MB_ICONSTOP); }

// The default beep, asked for with the beep type 1.
void TSystemBoxes::Beep() { MessageBeep(1); }

int ShowingFailures(window::IBoxes& boxes, const std::function<void()>& program) {
    try {
        program();
        return 0;
    } catch (...) {
        boxes.ShowError(window::ErrorText(CurrentError().Message));
        return 1;
    }
}

}  // namespace melvorin::win32
