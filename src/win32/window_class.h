#pragma once

#include <windows.h>

namespace melvorin::win32 {

// This program's module.
HINSTANCE ThisModule();

// Registers a window class of this program named `name` with `procedure`
// (and the cursor and background of `shape`, if given), once: a class
// already registered is left as it is. Throws std::system_error on failure.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, WNDCLASSEXW shape = {});

}  // namespace melvorin::win32
