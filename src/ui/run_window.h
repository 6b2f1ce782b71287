#pragma once

#include <functional>

#include "ui/boxes.h"

namespace melvorin::ui {

class TForm2;

// The program's life once the application object and its title exist: the
// hand-over pump, the main window with its members, FormCreate (its error
// shown at once, before the window), the window shown centred, the event
// loop; then the window hidden, its endpoint closed before any other member
// goes, the members destroyed and the exchange state released.
//
// `created`, when set, is called once the window is built, before FormCreate.
// `stopRequested`, when set and true after FormCreate, skips the show and the
// event loop (a termination request that came during the start-up error box).
void RunMainWindow(IBoxes& boxes, const std::function<void(TForm2&)>& created = {},
                   const bool* stopRequested = nullptr);

}  // namespace melvorin::ui
