#pragma once

// How the Win32 window shows its boxes and sounds its beep: the system's
// modal message boxes (tests record instead, see window/boxes.h).

#include <windows.h>

#include <functional>
#include <string>

#include "window/boxes.h"

namespace melvorin::win32 {

// The system's message box, captioned with the application title: the notice
// without an icon (silent; Ctrl+C copies caption, text and button between
// dashed rules, with a beep), the error with the stop icon; one OK button
// that answers Enter and Esc. A WM_QUIT posted while one is open ends it.
// Owned by the main window (disabled while a box is open) once that is
// shown; before, modal to the thread's windows.
class TSystemBoxes : public window::IBoxes {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void ShowNotice(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void Beep() override;

private:
    HWND owner_ = nullptr;
};

// Runs `program` (the start-up, the window and its loop). An error that
// leaves it, such as a socket layer that does not start or a window that
// cannot be made, is shown in the error box without an owner, and the exit
// code is 1; else it is 0.
int ShowingFailures(window::IBoxes& boxes, const std::function<void()>& program);

}  // namespace melvorin::win32
