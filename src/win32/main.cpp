// Melvorin for Windows: common controls, the user's language, locale and
// program file, around the shared start-up and shut-down (window/program.h).

#include <windows.h>

#include <commctrl.h>

#include "win32/boxes.h"
#include "win32/form2.h"
#include "win32/handover_pump.h"
#include "win32/text.h"
#include "window/program.h"
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
    const bool chinese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE;
    window::StartUp({chinese ? &Chinese : nullptr, UserLocale(), ProgramPath(), &Lower});
    win32::TSystemBoxes boxes;
    // A failure before the window exists is shown too, and ends the program.
    return win32::ShowingFailures(boxes, [&boxes] {
        window::RunMainWindow<win32::THandOverPump, win32::TForm2>(
            boxes, [&boxes](win32::TForm2& form) { boxes.SetOwner(form.Handle()); });
    });
}
