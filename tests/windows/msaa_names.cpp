// What a screen reader gets from the running melvorin.exe through Microsoft
// Active Accessibility: the name and role of each child window of its
// window, read as one reads them (AccessibleObjectFromWindow, OBJID_CLIENT);
// then, listening for live-region changes as a reader does, it presses the
// scan button and reads the name of each object that reports one.
// Prints UTF-8 lines "child<TAB>role<TAB>name" and "live<TAB>name"; exits 1
// when the window is not found within 20 s. Stops listening after two
// changes or 10 s.

#include <windows.h>

#include <oleacc.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int changes = 0;

std::string Utf8(const wchar_t* text, int length) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

std::string Name(IAccessible* object, const VARIANT& child) {
    BSTR name = nullptr;
    std::string out;
    if (object->get_accName(child, &name) == S_OK && name != nullptr) {
        out = Utf8(name, static_cast<int>(SysStringLen(name)));
    }
    SysFreeString(name);
    return out;
}

std::string Role(IAccessible* object, const VARIANT& child) {
    VARIANT role{};
    if (object->get_accRole(child, &role) != S_OK || role.vt != VT_I4) return "?";
    wchar_t text[128] = {};
    const UINT n = GetRoleTextW(static_cast<DWORD>(role.lVal), text, 128);
    return Utf8(text, static_cast<int>(n));
}

BOOL CALLBACK PrintChild(HWND child, LPARAM buttons) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, L"Button") == 0) reinterpret_cast<std::vector<HWND>*>(buttons)->push_back(child);
    IAccessible* object = nullptr;
    const HRESULT got = AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                   reinterpret_cast<void**>(&object));
    if (FAILED(got)) {
        std::printf("child\t?\t? (%s: 0x%08lx)\n", Utf8(cls, -1).c_str(), static_cast<unsigned long>(got));
        return TRUE;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    std::printf("child\t%s\t%s\n", Role(object, self).c_str(), Name(object, self).c_str());
    object->Release();
    return TRUE;
}

void CALLBACK LiveChanged(HWINEVENTHOOK, DWORD, HWND window, LONG id, LONG child, DWORD, DWORD) {
    IAccessible* object = nullptr;
    VARIANT which{};
    if (FAILED(AccessibleObjectFromEvent(window, static_cast<DWORD>(id), static_cast<DWORD>(child), &object,
                                         &which))) {
        return;
    }
    std::printf("live\t%s\n", Name(object, which).c_str());
    std::fflush(stdout);
    object->Release();
    ++changes;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND form = nullptr;
    for (int i = 0; i < 200 && form == nullptr; ++i) {
        form = FindWindowW(L"MelvorinForm2", nullptr);
        if (form == nullptr) Sleep(100);
    }
    if (form == nullptr) {
        std::fprintf(stderr, "msaa_names: no Melvorin window\n");
        return 1;
    }
    std::vector<HWND> buttons;
    EnumChildWindows(form, &PrintChild, reinterpret_cast<LPARAM>(&buttons));
    std::fflush(stdout);

    DWORD process = 0;
    GetWindowThreadProcessId(form, &process);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                                         &LiveChanged, process, 0, WINEVENT_OUTOFCONTEXT);
    for (HWND button : buttons) PostMessageW(button, BM_CLICK, 0, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (changes < 2 && std::chrono::steady_clock::now() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    UnhookWinEvent(hook);
    CoUninitialize();
    return 0;
}
