// Melvorin for Windows: start-up, message loop and shut-down.

#include <windows.h>

#include <commctrl.h>

#include "protocol/cp936.h"
#include "protocol/state.h"
#include "win32/boxes.h"
#include "win32/form2.h"
#include "win32/handover_pump.h"
#include "win32/text.h"
#include "window/rules.h"
#include "window/texts.h"
#include "window/translation_table.h"

namespace {

using namespace melvorin;

std::string Chinese(const char* context, const char* text) {
    return window::LookUp(window::kTranslationsZh, context, text);
}

std::string ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return win32::Narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string Lower(const std::string& text) {
    std::wstring wide = win32::Wide(text);
    if (!wide.empty()) CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return win32::Narrow(wide);
}

std::string UserLocale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    return GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? win32::Narrow(name) : std::string();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The added texts in Chinese when the user's interface language is.
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE) window::SetTranslator(&Chinese);
    // Names valid both as UTF-8 and as code page 936 follow the user's locale.
    SetPreferredReading(ReadingForLocale(UserLocale()));
    window::SetApplicationTitle(window::MakeApplicationTitle(ProgramPath(), &Lower));
    win32::TSystemBoxes boxes;
    // A failure before the window exists is shown too, and ends the program.
    const int exitCode = win32::ShowingFailures(boxes, [&boxes] {
        // Hand-overs from the listeners run on this thread, in the message
        // loop and in every open box's. The pump outlives the window, whose
        // endpoint is closed (its listeners ended) before the window goes.
        win32::THandOverPump pump;
        win32::TForm2 form(boxes, pump.HandOver());
        // The first scan: its error is shown at once, and the window opens
        // anyway.
        form.FormCreate();
        form.ShowCentred();
        form.Run();
    });
    ReleaseState();
    return exitCode;
}
