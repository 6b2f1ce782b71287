#pragma once

// What the program is asked to do before it opens its window: its own
// options, and whether there is a display to open it on. No Qt here: both are
// decided before the application object exists.

#include <functional>
#include <string>

namespace melvorin::app {

struct StartOptions {
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool showSecrets = false;
};

// --help (-h), --version, --verbose and --show-secrets; every other argument is left to Qt
// (which also takes its own options with two dashes, as --platform).
StartOptions ParseStartOptions(int argc, const char* const* argv);

enum class DisplayState {
    Usable,       // a display is set and answers, or the platform needs none
    NotSet,       // neither DISPLAY nor WAYLAND_DISPLAY
    Unreachable,  // DISPLAY names a local X server that does not answer
};

using GetEnv = std::function<const char*(const char*)>;

// Decides from QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY whether Qt will
// find a display. Platforms that need none (offscreen, minimal, vnc, eglfs,
// linuxfb and the like) are usable. A local X display (":0", "unix:0") is
// tried on its socket; a remote one is taken as usable.
DisplayState CheckDisplay(const GetEnv& env);

}  // namespace melvorin::app
