#pragma once

// The application's own window: never seen (no size), titled with the
// application title, owner of the main window. The task bar shows its button,
// so the main window, being owned, has none of its own.

#include <windows.h>

namespace melvorin::win32 {

class TAppWindow {
public:
    // Made with the application title, hidden.
    TAppWindow();
    ~TAppWindow();
    TAppWindow(const TAppWindow&) = delete;
    TAppWindow& operator=(const TAppWindow&) = delete;

    HWND Handle() const { return window_; }
    // The task bar's button, shown and hidden with `main`, which gets the
    // activation and the close this window receives.
    void Show(HWND main);
    void Hide();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

}  // namespace melvorin::win32
