#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "net/handover.h"
#include "win32/app_window.h"
#include "win32/live_region.h"
#include "window/boxes.h"
#include "window/form_logic.h"
#include "window/layout.h"
#include "window/program.h"
#include "window/view.h"

namespace melvorin::win32 {

// The main window "Form2" as Win32 draws it: the search-port and key boxes,
// the scan button, the report-style list of networks and the status line,
// placed by the layout table and scaled by the monitor's dots per inch. What
// it does is window/form_logic.h's: its messages become calls there, and the
// logic draws through this window. window/program.h runs it.
class TForm2 : public window::IMainWindow, private window::IFormView {
public:
    // `boxes` shows the notice and error boxes and beeps; `handOver` runs the
    // endpoint's events on this thread. Both must outlive the window.
    TForm2(window::IBoxes& boxes, net::THandOver& handOver);
    ~TForm2();
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    window::TFormLogic& Logic() override { return *logic_; }
    void FormCreate() { logic_->FormCreate(); }
    // window::IMainWindow: shown centred the first time; the message loop
    // until the window is closed (which hides it and closes its endpoint);
    // hidden.
    void ShowCentred() override;
    void RunEventLoop() override;
    void Hide() override;
    // What the message loop does with one message (dialog keys: Tab, Enter).
    bool PreTranslate(MSG& message);
    void CloseEndpoint() { logic_->CloseEndpoint(); }

    HWND Handle() const { return window_; }
    // The application's window, which owns this one and has its task-bar
    // button.
    HWND AppHandle() const { return app_.Handle(); }
    // A member of the layout table, by its name ("lvSsid", "lblStatus"...).
    HWND Control(window::TMember member) const;
    // The layout's scale: the measured height of "0" over 13.
    double Scale() const { return scale_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR form);
    static LRESULT CALLBACK ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR form);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(const NMHDR& header);
    void BuildControls();
    void Layout(UINT dpi);
    static void KeepFromTextServices(HWND edit);
    // Runs a typed character through the box's key filter: false drops it.
    bool Filter(HWND edit, char16_t& key);
    void FocusMoved(HWND to);

    // window::IFormView
    void ClearRows() override;
    void AddRow(const window::TShownRow& row) override;
    int RowCount() const override;
    int SelectedRow() const override;
    std::string KeyText() const override;
    void SetKeyText(const std::string& text) override;
    void SetKeyColor(TColor color) override;
    void SetKeyWindowColor() override;
    std::string PortText() const override;
    void SetStatusText(const std::string& text) override;
    void StartTimer(window::TTimer timer, std::chrono::milliseconds after) override;
    void StopTimer(window::TTimer timer) override;

    TAppWindow app_;  // made before the window it owns, destroyed after it
    HWND window_ = nullptr;
    std::array<HWND, window::kLayout.size()> controls_{};  // in the layout table's order
    HWND listName_ = nullptr;
    HFONT font_ = nullptr;
    HFONT listFont_ = nullptr;
    HBRUSH keyBrush_ = nullptr;
    COLORREF keyColor_ = 0;
    bool keyColored_ = false;
    HWND current_ = nullptr;   // the control that has the focus within the window
    HWND savedFocus_ = nullptr;  // while the window is inactive
    std::vector<std::wstring> tips_;
    std::unique_ptr<TLiveRegion> status_;  // the status line's announcements
    std::unique_ptr<window::TFormLogic> logic_;
    double scale_ = 1.0;
    bool centred_ = false;
};

}  // namespace melvorin::win32
