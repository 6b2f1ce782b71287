#include "win32/boxes.h"

#include "win32/text.h"
#include "window/rules.h"

namespace melvorin::win32 {

namespace {

// A box owned by a window not shown yet (the first scan's error) has no
// owner: it is modal to the thread's windows instead.
UINT Show(HWND owner, const std::wstring& text, UINT style) {
    if (owner != nullptr && !IsWindowVisible(owner)) owner = nullptr;
    if (owner == nullptr) style |= MB_TASKMODAL;
    const std::wstring caption = Wide(window::ApplicationTitle());
    return static_cast<UINT>(MessageBoxW(owner, text.c_str(), caption.c_str(), style | MB_OK));
}

}  // namespace

void TSystemBoxes::ShowNotice(HWND owner, const std::wstring& text) { Show(owner, text, 0); }

void TSystemBoxes::ShowError(HWND owner, const std::wstring& text) { Show(owner, text, MB_ICONSTOP); }

// The default beep, asked for with the beep type 1.
void TSystemBoxes::Beep() { MessageBeep(1); }

}  // namespace melvorin::win32
