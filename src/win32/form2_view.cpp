// What the window logic draws on the Win32 window.

#include "win32/form2.h"

#include <commctrl.h>
#include "win32/text.h"
#include "win32/timers.h"
#include "window/layout.h"

namespace melvorin::win32 {

namespace {

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void TForm2::ClearRows() {
    ListView_DeleteAllItems(Control("lvSsid"));
    tips_.clear();
}

void TForm2::AddRow(const window::TShownRow& row) {
    HWND list = Control("lvSsid");
    std::wstring name = Wide(row.name), strength = Wide(row.strength);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = name.data();
    const int at = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, at, 1, strength.data());
    std::string tip;
    for (const std::string& line : row.tip) tip += (tip.empty() ? "" : "\n") + line;
    tips_.push_back(Wide(tip));
}

int TForm2::RowCount() const { return ListView_GetItemCount(Control("lvSsid")); }
int TForm2::SelectedRow() const { return ListView_GetNextItem(Control("lvSsid"), -1, LVNI_SELECTED); }
std::string TForm2::KeyText() const { return Narrow(TextOf(Control("edtKey"))); }
void TForm2::SetKeyText(const std::string& text) { SetWindowTextW(Control("edtKey"), Wide(text).c_str()); }

void TForm2::SetKeyColor(TColor color) {
    // TColor is blue-green-red, as COLORREF is.
    if (keyBrush_ != nullptr) DeleteObject(keyBrush_);
    keyColor_ = static_cast<COLORREF>(color);
    keyBrush_ = CreateSolidBrush(keyColor_);
    keyColored_ = true;
    InvalidateRect(Control("edtKey"), nullptr, TRUE);
}

void TForm2::SetKeyWindowColor() {
    keyColored_ = false;
    InvalidateRect(Control("edtKey"), nullptr, TRUE);
}

std::string TForm2::PortText() const { return Narrow(TextOf(Control("edt_SearchPort"))); }

// A static's text is its name for a screen reader; the live region's signal
// has one that is listening announce it, once for each change.
void TForm2::SetStatusText(const std::string& text) {
    const std::wstring line = Wide(text);
    if (line == TextOf(Control("lblStatus"))) return;
    SetWindowTextW(Control("lblStatus"), line.c_str());
    if (status_) status_->Changed();
}

void TForm2::StartTimer(window::TTimer timer, std::chrono::milliseconds after) {
    SetTimer(window_, TimerId(timer), static_cast<UINT>(after.count()), nullptr);
}

void TForm2::StopTimer(window::TTimer timer) { KillTimer(window_, TimerId(timer)); }

}  // namespace melvorin::win32
