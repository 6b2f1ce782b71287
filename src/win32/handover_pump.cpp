#include "win32/handover_pump.h"

#include <system_error>

#include "win32/window_class.h"

namespace melvorin::win32 {
namespace {

constexpr wchar_t kClassName[] = L"MelvorinHandOverPump";

}  // namespace

THandOverPump::THandOverPump() {
    RegisterWindowClass(kClassName, &Procedure);
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), this);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateWindowExW (hand-over pump)");
    }
    // PostMessageW is safe from any thread. One message per queued request;
    // a listener waits for its request to run, so few are ever outstanding.
    HWND window = window_;
    handOver_.SetWakeUp([window] { PostMessageW(window, kWakeUpMessage, 0, 0); });
}

THandOverPump::~THandOverPump() {
    handOver_.SetWakeUp({});
    // Messages still queued for the window go with it.
    DestroyWindow(window_);
}

LRESULT CALLBACK THandOverPump::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == kWakeUpMessage) {
        if (auto* pump = reinterpret_cast<THandOverPump*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            pump->handOver_.RunQueued();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace melvorin::win32
