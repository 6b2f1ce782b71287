#include "win32/handover_pump.h"

#include <mutex>
#include <system_error>

namespace melvorin::win32 {
namespace {

constexpr wchar_t kClassName[] = L"MelvorinHandOverPump";

HINSTANCE ThisModule() { return GetModuleHandleW(nullptr); }

// The window class, registered once per process.
void RegisterPumpClass(WNDPROC procedure) {
    static std::once_flag once;
    std::call_once(once, [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ThisModule();
        windowClass.lpszClassName = kClassName;
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "RegisterClassExW (hand-over pump)");
        }
    });
}

}  // namespace

THandOverPump::THandOverPump() {
    RegisterPumpClass(&Procedure);
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
