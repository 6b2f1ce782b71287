#include "win32/window_class.h"

#include <system_error>

namespace melvorin::win32 {

HINSTANCE ThisModule() { return GetModuleHandleW(nullptr); }

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, WNDCLASSEXW shape) {
    shape.cbSize = sizeof shape;
    shape.lpfnWndProc = procedure;
    shape.hInstance = ThisModule();
    shape.lpszClassName = name;
    if (RegisterClassExW(&shape) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "RegisterClassExW");
    }
}

}  // namespace melvorin::win32
