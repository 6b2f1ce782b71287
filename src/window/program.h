#pragma once

// The program's life around its one window, the same for every toolkit:
// what is set up before the window exists, and the start-up and shut-down
// sequence. A toolkit's program calls StartUp(), makes its boxes and calls
// RunMainWindow<Pump, Window>().

#include <functional>
#include <string>

#include "protocol/state.h"
#include "window/boxes.h"
#include "window/form_logic.h"
#include "window/texts.h"

namespace melvorin::window {

// What the toolkit knows of the user and the program before the window exists.
struct TStartUp {
    // The added texts in the user's language; null for English.
    TTranslator translator = nullptr;
    // The user's locale name ("zh_CN.UTF-8", "zh-CN"): names valid both as
    // UTF-8 and as code page 936 are read as its language prefers.
    std::string locale;
    // The program file (UTF-8) and the toolkit's lower-case mapping: the
    // application title is made from them.
    std::string programPath;
    std::function<std::string(const std::string&)> lower;
};

// Installs the translator, the preferred reading of names and the
// application title.
void StartUp(const TStartUp& startUp);

// The main window as the sequence drives it.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    virtual TFormLogic& Logic() = 0;
    // Shows the window, centred on the primary screen the first time, with
    // the focus where it was (on the scan button at first).
    virtual void ShowCentred() = 0;
    // Runs the toolkit's event loop until the window is closed.
    virtual void RunEventLoop() = 0;
    virtual void Hide() = 0;
};

// A built window's run: FormCreate (the first scan; its error box is shown at
// once, before the window, and the window opens anyway; replies wait in
// their listeners until the loop runs); unless `stopRequested` is set and
// true by then (a termination request during that error box), the window
// shown and the event loop; then the window hidden and its endpoint closed
// before any other member goes.
void RunWindow(IMainWindow& window, const bool* stopRequested = nullptr);

// The whole sequence: `Pump` (the toolkit's hand-over pump, made on this
// thread, with HandOver()) runs the listeners' hand-overs in every loop of
// this thread and outlives the window; `Window` (an IMainWindow built from
// boxes and hand-over) is built from the layout, `created` called with it,
// RunWindow; then the window destroyed, the pump, and the exchange state
// released.
template <typename Pump, typename Window>
void RunMainWindow(IBoxes& boxes, const std::function<void(Window&)>& created = {},
                   const bool* stopRequested = nullptr) {
    {
        Pump pump;
        Window window(boxes, pump.HandOver());
        if (created) created(window);
        RunWindow(window, stopRequested);
    }
    ReleaseState();
}

}  // namespace melvorin::window
