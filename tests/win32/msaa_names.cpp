// What a screen reader gets from the running melvorin.exe through Microsoft
// Active Accessibility: the role and name of each child window of its
// window (AccessibleObjectFromWindow, OBJID_CLIENT); then, listening for
// live-region changes as a reader does, it presses the scan button and reads
// the name of each object that reports one (until two did, or 10 s).
// Prints UTF-8 lines "child<TAB>role<TAB>name" and "live<TAB>name".

#include <windows.h>

#include <oleacc.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "win32/text.h"

namespace {

using melvorin::win32::Narrow;

int changes = 0;

void Print(const char* what, IAccessible* object, const VARIANT& child, bool withRole) {
    BSTR name = nullptr;
    VARIANT role{};
    wchar_t roleText[64] = L"?";
    if (withRole && object->get_accRole(child, &role) == S_OK && role.vt == VT_I4) {
        GetRoleTextW(static_cast<DWORD>(role.lVal), roleText, 64);
    }
    std::printf("%s\t%s%s%s\n", what, withRole ? Narrow(roleText).c_str() : "", withRole ? "\t" : "",
                object->get_accName(child, &name) == S_OK && name != nullptr ? Narrow(name).c_str() : "");
    std::fflush(stdout);
    SysFreeString(name);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object)))) {
        return TRUE;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    Print("child", object, self, true);
    object->Release();
    return TRUE;
}

void CALLBACK LiveChanged(HWINEVENTHOOK, DWORD, HWND window, LONG id, LONG child, DWORD, DWORD) {
    IAccessible* object = nullptr;
    VARIANT which{};
    if (SUCCEEDED(AccessibleObjectFromEvent(window, static_cast<DWORD>(id), static_cast<DWORD>(child), &object,
                                            &which))) {
        Print("live", object, which, false);
        object->Release();
    }
    ++changes;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND form = FindWindowW(L"MelvorinForm2", nullptr);
    if (form == nullptr) return 1;
    EnumChildWindows(form, &PrintChild, 0);
    DWORD process = 0;
    GetWindowThreadProcessId(form, &process);
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED,
                                               nullptr, &LiveChanged, process, 0, WINEVENT_OUTOFCONTEXT);
    PostMessageW(FindWindowExW(form, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MSG message;
    while (changes < 2 && std::chrono::steady_clock::now() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    UnhookWinEvent(hook);
    CoUninitialize();
    return 0;
}
