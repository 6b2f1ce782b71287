#include "win32/app_window.h"

#include <system_error>

#include "win32/text.h"
#include "win32/window_class.h"
#include "window/rules.h"

namespace melvorin::win32 {

namespace {

constexpr wchar_t kClassName[] = L"MelvorinApplication";

HWND MainOf(HWND window) { return reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

}  // namespace

TAppWindow::TAppWindow() {
    RegisterWindowClass(kClassName, &Procedure);
    // Not a tool window: the task bar gives it a button. No size, so nothing
    // of it is drawn; at the screen's centre, where the boxes come up.
    window_ = CreateWindowExW(0, kClassName, Wide(window::ApplicationTitle()).c_str(), WS_POPUP | WS_SYSMENU,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, ThisModule(), nullptr);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateWindowExW");
    }
}

TAppWindow::~TAppWindow() { DestroyWindow(window_); }

void TAppWindow::Show(HWND main) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(main));
    ShowWindow(window_, SW_SHOWNA);
}

void TAppWindow::Hide() { ShowWindow(window_, SW_HIDE); }

LRESULT CALLBACK TAppWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND main = MainOf(window);
    switch (message) {
    case WM_SETFOCUS:
        // Chosen on the task bar or by Alt+Tab: the main window comes to the
        // front, or the box it has open.
        if (main != nullptr && IsWindowVisible(main)) SetFocus(IsWindowEnabled(main) ? main : GetLastActivePopup(main));
        return 0;
    case WM_CLOSE:
        // The task bar button's Close closes the main window.
        if (main != nullptr) PostMessageW(main, WM_CLOSE, 0, 0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace melvorin::win32
