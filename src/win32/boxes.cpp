#include "win32/boxes.h"

#include "win32/text.h"
#include "window/rules.h"

namespace melvorin::win32 {

namespace {

// The box as it comes up: centred on the primary screen, its button "OK"
// whatever the system's language.
HHOOK gHook = nullptr;

LRESULT CALLBACK ShapeBox(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = gHook;
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
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
    if (gHook == nullptr) gHook = SetWindowsHookExW(WH_CBT, &ShapeBox, nullptr, GetCurrentThreadId());
    return static_cast<UINT>(MessageBoxW(owner, text.c_str(), caption.c_str(), style | MB_OK));
}

}  // namespace

void TSystemBoxes::ShowNotice(const std::string& text) { Show(owner_, Wide(text), 0); }

void TSystemBoxes::ShowError(const std::string& text) { Show(owner_, Wide(text), MB_ICONSTOP); }

// The default beep, asked for with the beep type 1.
void TSystemBoxes::Beep() { MessageBeep(1); }

}  // namespace melvorin::win32
