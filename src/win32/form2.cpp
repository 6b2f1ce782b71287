#include "win32/form2.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>

#include "win32/text.h"
#include "win32/timers.h"
#include "win32/window_class.h"
#include "window/layout.h"
#include "window/texts.h"

namespace melvorin::win32 {

namespace {

constexpr wchar_t kClassName[] = L"MelvorinForm2";
constexpr int kFirstId = 100;
constexpr UINT_PTR kSubclassId = 1;

// The members' indexes in the layout table.
constexpr std::size_t kEdtKey = window::IndexOf("edtKey"), kBtnSearch = window::IndexOf("btnSearch"),
                      kLvSsid = window::IndexOf("lvSsid"), kEdtSearchPort = window::IndexOf("edt_SearchPort"),
                      kLblStatus = window::IndexOf("lblStatus");

// The window class and styles of each member.
struct TKind {
    window::TMember member;
    const wchar_t* cls;
    DWORD style, exStyle;
};
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr std::array<TKind, window::kLayout.size()> kKinds{{
    {"lbl_SearchPort", L"STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0},
    {"Key", L"STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0},
    {"edtKey", L"EDIT", kEdit, WS_EX_CLIENTEDGE},
    {"btnSearch", L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY, 0},
    {"lvSsid", WC_LISTVIEWW, kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
     WS_EX_CLIENTEDGE},
    {"edt_SearchPort", L"EDIT", kEdit, WS_EX_CLIENTEDGE},
    {"lblStatus", L"STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0},
}};
// The controls are made in the table's order (the order of creation): the
// kinds follow it.
constexpr bool InLayoutOrder() {
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (kKinds[i].member.Index() != i) return false;
    }
    return true;
}
static_assert(InLayoutOrder(), "kKinds lists the members in kLayout's order");

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // fixed size, a close box only
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

TForm2::TForm2(window::IBoxes& boxes, net::THandOver& handOver) {
    WNDCLASSEXW shape{};
    shape.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    shape.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // button face
    RegisterWindowClass(kClassName, &Procedure, shape);
    // Owned by the application's window: no task-bar button of its own.
    window_ = CreateWindowExW(kExStyle, kClassName, Wide(window::kWindowTitle).c_str(), kStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, 0, 0, app_.Handle(), nullptr, ThisModule(), this);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateWindowExW (Form2)");
    }
    BuildControls();
    Layout(GetDpiForWindow(window_));
    status_ = std::make_unique<TLiveRegion>(controls_[kLblStatus]);
    logic_ = std::make_unique<window::TFormLogic>(static_cast<window::IFormView&>(*this), boxes, handOver);
}

TForm2::~TForm2() {
    // The logic (and its endpoint) goes before the controls it draws on.
    logic_.reset();
    status_.reset();
    DestroyWindow(window_);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(listFont_), static_cast<HGDIOBJ>(keyBrush_)}) {
        if (o != nullptr) DeleteObject(o);
    }
}

HWND TForm2::Control(window::TMember member) const { return controls_[member.Index()]; }

void TForm2::BuildControls() {
    // In the table's order, with the texts of the table.
    for (std::size_t i = 0; i < window::kLayout.size(); ++i) {
        controls_[i] = CreateWindowExW(kKinds[i].exStyle, kKinds[i].cls, Wide(window::kLayout[i].text).c_str(),
                                       kKinds[i].style, 0, 0, 0, 0, window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)), ThisModule(), nullptr);
    }
    HWND list = controls_[kLvSsid];
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP);
    const std::wstring columns[2] = {Wide(window::kSsidColumn), Wide(window::kStrengthColumn)};
    for (int c = 0; c < 2; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        column.pszText = const_cast<wchar_t*>(columns[c].c_str());
        ListView_InsertColumn(list, c, &column);
    }
    // A screen reader names a list view by its window text (it draws none),
    // an edit box by the label before it, the status line by its text (and
    // announces its changes: a live region).
    SetWindowTextW(list, Wide(MLV_TR("NetworkList", "Networks")).c_str());
    // The tab order is the order of the children, each caption just before
    // its box (a screen reader names an edit box by the label before it);
    // the status line last.
    HWND after = HWND_TOP;
    const auto next = [&](window::TMember member) {
        SetWindowPos(Control(member), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = Control(member);
    };
    for (window::TMember member : window::kTabOrder) {
        for (const window::TCaption& c : window::kCaptions) {
            if (c.box == member) next(c.caption);
        }
        next(member);
    }
    next("lblStatus");
    for (std::size_t i : {kEdtKey, kEdtSearchPort}) {
        SetWindowSubclass(controls_[i], &EditProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    SetWindowSubclass(list, &ListProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    KeepFromTextServices(controls_[kEdtKey]);
    SetFocus(Control(window::kTabOrder[0]));
}

// The window's font scaled by `dpi` over 96; then every place, size and the
// list's font by the measured height of "0" over 13.
void TForm2::Layout(UINT dpi) {
    HFONT font = CreateFontW(-window::WindowFontPixels(dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    HDC dc = GetDC(window_);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE zero{};
    GetTextExtentPoint32W(dc, L"0", 1, &zero);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    scale_ = window::LayoutScale(zero.cy);
    HFONT listFont = CreateFontW(-std::max(1, window::Scaled(window::kListFontPixels, scale_)), 0, 0, 0, FW_NORMAL,
                                 FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    for (std::size_t i = 0; i < window::kLayout.size(); ++i) {
        const window::TPlace& at = window::kLayout[i];
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(i == kLvSsid ? listFont : font), TRUE);
        MoveWindow(controls_[i], window::Scaled(at.left, scale_), window::Scaled(at.top, scale_),
                   window::Scaled(at.width, scale_), window::Scaled(at.height, scale_), TRUE);
    }
    ListView_SetColumnWidth(controls_[kLvSsid], 0, window::Scaled(window::kSsidColumnWidth, scale_));
    ListView_SetColumnWidth(controls_[kLvSsid], 1, window::Scaled(window::kStrengthColumnWidth, scale_));
    for (HFONT o : {font_, listFont_}) {
        if (o != nullptr) DeleteObject(o);
    }
    font_ = font;
    listFont_ = listFont;
    RECT frame{0, 0, window::Scaled(window::kClientWidth, scale_),
               window::Scaled(window::kClientHeight + window::kStatusHeight, scale_)};
    AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::ShowCentred() {
    if (!centred_) {
        centred_ = true;
        RECT r{};
        GetWindowRect(window_, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    app_.Show(window_);
    ShowWindow(window_, SW_SHOW);
    SetFocus(current_ != nullptr ? current_ : controls_[kBtnSearch]);
}

bool TForm2::PreTranslate(MSG& message) { return IsDialogMessageW(window_, &message) != FALSE; }

void TForm2::RunEventLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void TForm2::Hide() {
    ShowWindow(window_, SW_HIDE);
    app_.Hide();
}

// ---- messages ---------------------------------------------------------------

LRESULT CALLBACK TForm2::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<TForm2*>(create->lpCreateParams)->window_ = window;
    }
    auto* form = reinterpret_cast<TForm2*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return form->Handle(message, wParam, lParam);
}

LRESULT TForm2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lParam);
        const bool isButton = from == controls_[kBtnSearch] && from != nullptr;
        // Enter on the focused scan button comes from the dialog keys as IDOK.
        if ((LOWORD(wParam) == IDOK && GetFocus() == controls_[kBtnSearch]) ||
            (isButton && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) != IDOK)) {
            if (logic_) logic_->btnSearchClick();
        } else if ((isButton && HIWORD(wParam) == BN_SETFOCUS) || HIWORD(wParam) == EN_SETFOCUS) {
            FocusMoved(from);
        }
        return 0;
    }
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) == controls_[kEdtKey] && keyColored_) {
            SetBkColor(reinterpret_cast<HDC>(wParam), keyColor_);
            return reinterpret_cast<LRESULT>(keyBrush_);
        }
        break;
    case WM_TIMER: {
        const std::optional<window::TTimer> timer = TimerOf(wParam);
        if (!timer) break;
        KillTimer(window_, wParam);
        if (logic_) logic_->TimedOut(*timer);
        return 0;
    }
    case WM_ACTIVATE:
        // The focus stays with its control while another window is active:
        // no enter or exit handler runs for it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window_, focus)) savedFocus_ = focus;
        } else {
            SetFocus(savedFocus_ != nullptr ? savedFocus_ : (current_ != nullptr ? current_ : controls_[kBtnSearch]));
        }
        return 0;
    case WM_DPICHANGED: {
        Layout(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return 0;
    }
    case WM_CLOSE:
    case WM_ENDSESSION:
        if (message == WM_ENDSESSION && !wParam) break;
        // Hidden, then the endpoint closed; the loops end (an open box's too).
        Hide();
        CloseEndpoint();
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT TForm2::Notify(const NMHDR& header) {
    if (header.hwndFrom != controls_[kLvSsid]) return 0;
    switch (header.code) {
    case NM_DBLCLK:
        if (logic_) logic_->lvSsidDblClick();
        break;
    case NM_SETFOCUS:
        FocusMoved(header.hwndFrom);
        break;
    case LVN_GETINFOTIPW: {
        auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
        if (tip.iItem >= 0 && static_cast<std::size_t>(tip.iItem) < tips_.size() && tip.cchTextMax > 0) {
            lstrcpynW(tip.pszText, tips_[static_cast<std::size_t>(tip.iItem)].c_str(), tip.cchTextMax);
        }
        break;
    }
    default:
        break;
    }
    return 0;
}

void TForm2::FocusMoved(HWND to) {
    if (to == current_) return;
    const HWND from = current_;
    current_ = to;
    if (!logic_) return;
    if (from == controls_[kEdtKey]) logic_->edtKeyExit();
    if (to == controls_[kEdtKey]) logic_->edtKeyEnter();
    // Tabbing into the list makes a row current, so that Enter joins it.
    HWND list = controls_[kLvSsid];
    if (to == list && ListView_GetItemCount(list) > 0 && ListView_GetNextItem(list, -1, LVNI_FOCUSED) < 0) {
        ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    }
}

}  // namespace melvorin::win32
