#pragma once

// How a window shows its boxes and sounds its beep. Texts are UTF-8; every
// call comes on the window's thread. The programs use their toolkit's real
// modal boxes; tests record instead.

#include <string>

namespace melvorin::window {

class IBoxes {
public:
    virtual ~IBoxes() = default;
    // A join result: the modal notice box, captioned with the application
    // title.
    virtual void ShowNotice(const std::string& text) = 0;
    // A failed user action: the modal error box with the stop icon; `text` is
    // already shaped by the error text rule, its line ends as the message had
    // them (a socket error's "\r\n"). It may come before the main window is
    // shown (the first scan's error).
    virtual void ShowError(const std::string& text) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
};

}  // namespace melvorin::window
