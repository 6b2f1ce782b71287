#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

#include "net/handover.h"
#include "window/boxes.h"
#include "window/form_logic.h"
#include "window/program.h"
#include "window/view.h"

class QLabel;
class QPushButton;

namespace melvorin::qt {

class TEdit;
class TListView;
class TStatusLine;

// The main window "Form2" as Qt draws it: the search-port and key boxes, the
// scan button, the list of networks and the status line, placed by the
// layout table. What it does is window/form_logic.h's: its events become
// calls there, and the logic draws through this window. The controls are
// found by their object names (the members' names). window/program.h runs it.
class TForm2 : public QWidget, public window::IMainWindow, private window::IFormView {
    Q_OBJECT
public:
    // `boxes` shows the notice and error boxes and beeps; `handOver` runs the
    // endpoint's events on this thread. Both must outlive the window.
    TForm2(window::IBoxes& boxes, net::THandOver& handOver, QWidget* parent = nullptr);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    window::TFormLogic& Logic() override { return *logic_; }

    // The first scan (the logic's FormCreate).
    void FormCreate() { logic_->FormCreate(); }
    // window::IMainWindow: shown centred the first time, Qt's event loop,
    // hidden.
    void ShowCentred() override;
    void RunEventLoop() override;
    void Hide() override { hide(); }
    // Closes the endpoint; received datagrams are dropped from here on.
    void CloseEndpoint() { logic_->CloseEndpoint(); }
    // Join results dropped because no join request waited for one.
    int UnaskedResults() const { return logic_->UnaskedResults(); }
    void SetJoinResultWindow(std::chrono::milliseconds window) { logic_->SetJoinResultWindow(window); }

    // The layout's scale: the measured height of "0" in the window's font
    // over 13. Positions, sizes, the list's font and the client area use it.
    double Scale() const { return scale_; }
    int Scaled(int value) const;

private:
    void BuildLayout();

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
    void AnnounceStatusText(const std::string& text) override;
    void StartTimer(window::TTimer timer, std::chrono::milliseconds after) override;
    void StopTimer(window::TTimer timer) override;

    QTimer& TimerOf(window::TTimer timer) { return timer == window::TTimer::Scan ? scanTimer_ : joinTimer_; }

    QLabel* lbl_SearchPort = nullptr;
    QLabel* Key = nullptr;
    TEdit* edtKey = nullptr;
    QPushButton* btnSearch = nullptr;
    TListView* lvSsid = nullptr;
    TEdit* edt_SearchPort = nullptr;
    TStatusLine* lblStatus = nullptr;
    QTimer scanTimer_;
    QTimer joinTimer_;
    std::unique_ptr<window::TFormLogic> logic_;
    double scale_ = 1.0;
    bool centred_ = false;
};

}  // namespace melvorin::qt
