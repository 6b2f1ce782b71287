// What the Win32 window's boxes and list do with keys.

#include "win32/form2.h"

#include <commctrl.h>
#include <inputscope.h>

#include "window/rules.h"

namespace melvorin::win32 {

namespace {

bool IsEnter(LPARAM message) {
    const auto* m = reinterpret_cast<const MSG*>(message);
    return m != nullptr && m->message == WM_KEYDOWN && m->wParam == VK_RETURN;
}

}  // namespace

// Input methods and the touch keyboard take the box for a password's: no
// prediction, nothing learnt or looked up. The text services' library is
// loaded only for this, and not where the system lacks it.
void TForm2::KeepFromTextServices(HWND edit) {
    using SetScope = HRESULT(WINAPI*)(HWND, InputScope);
    const HMODULE services = LoadLibraryW(L"msctf.dll");
    if (services == nullptr) return;
    const auto set = reinterpret_cast<SetScope>(reinterpret_cast<void*>(GetProcAddress(services, "SetInputScope")));
    if (set != nullptr) set(edit, IS_PASSWORD);
}

bool TForm2::Filter(HWND edit, char16_t& key) {
    if (edit == Control("edtKey")) {
        logic_->edtKeyKeyPress(key);
    } else {
        logic_->edt_SearchPortKeyPress(key);
    }
    return key != 0;
}

// Each character typed into a box passes its key filter; the shortcuts that
// edit without typing (Ctrl+Delete, Shift+Delete, Alt+Backspace) deliver DEL,
// as Ctrl+Backspace does. Shift+Insert and the context menu's Paste paste.
// The key never leaves its box: copying and cutting it (by key or menu, which
// come as WM_COPY and WM_CUT) do nothing.
LRESULT CALLBACK TForm2::EditProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
    auto& form = *reinterpret_cast<TForm2*>(data);
    switch (message) {
    case WM_COPY:
    case WM_CUT:
        if (edit == form.Control("edtKey")) return 0;
        break;
    case WM_GETDLGCODE:
        // Enter reaches the box's filter, as every typed character does.
        return DefSubclassProc(edit, message, wParam, lParam) | (IsEnter(lParam) ? DLGC_WANTMESSAGE : 0);
    case WM_CHAR:
    case WM_IME_CHAR: {
        auto key = static_cast<char16_t>(wParam);
        if (!form.logic_ || !form.Filter(edit, key)) return 0;
        if (key == u'\r') return 0;  // a single-line box does nothing with it
        return DefSubclassProc(edit, message, key, lParam);
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
        const bool editing = (wParam == VK_DELETE && (ctrl || shift)) || (message == WM_SYSKEYDOWN && wParam == VK_BACK);
        char16_t key = 0x7F;
        if (editing && form.logic_ && !form.Filter(edit, key)) return 0;
        break;
    }
    default:
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

// Enter on the selected row (or on the current one when none is) joins, as a
// double-click does.
LRESULT CALLBACK TForm2::ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
    auto& form = *reinterpret_cast<TForm2*>(data);
    if (message == WM_GETDLGCODE) {
        return DefSubclassProc(list, message, wParam, lParam) | (IsEnter(lParam) ? DLGC_WANTMESSAGE : 0);
    }
    if (message == WM_CHAR && wParam == VK_RETURN) return 0;
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        const int row = window::RowToJoinOnEnter(form.SelectedRow(), ListView_GetNextItem(list, -1, LVNI_FOCUSED));
        if (row >= 0 && form.logic_) {
            if (form.SelectedRow() != row) ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
            form.logic_->lvSsidDblClick();
        }
        return 0;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}
}  // namespace melvorin::win32
