#pragma once

// How the Win32 window shows its boxes and sounds its beep. The program uses
// TSystemBoxes (the system's modal message boxes); tests install a recording
// implementation that does not block.

#include <windows.h>

#include <functional>
#include <string>

namespace melvorin::win32 {

class IBoxes {
public:
    virtual ~IBoxes() = default;
    // A join result: the modal notice box, owned by `owner` (disabled while
    // it is open).
    virtual void ShowNotice(HWND owner, const std::wstring& text) = 0;
    // A failed user action: the modal error box with the stop icon; `text`
    // is already shaped by the error text rule. `owner` may be null (the
    // window is not shown yet).
    virtual void ShowError(HWND owner, const std::wstring& text) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
};

// The system's message box, captioned with the application title: the notice
// without an icon (silent; Ctrl+C copies caption, text and button between
// dashed rules, with a beep), the error with the stop icon; one OK button
// that answers Enter and Esc. A WM_QUIT posted while one is open ends it.
class TSystemBoxes : public IBoxes {
public:
    void ShowNotice(HWND owner, const std::wstring& text) override;
    void ShowError(HWND owner, const std::wstring& text) override;
    void Beep() override;
};

// Runs `program` (the start-up, the window and its loop). An error that
// leaves it, such as a socket layer that does not start or a window that
// cannot be made, is shown in the error box without an owner, and the exit
// code is 1; else it is 0.
int ShowingFailures(IBoxes& boxes, const std::function<void()>& program);

}  // namespace melvorin::win32
