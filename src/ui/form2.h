#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "net/udp_server.h"
#include "protocol/ports.h"
#include "ui/boxes.h"
#include "ui/join_route.h"
#include "ui/status_line.h"
#include "ui/widgets.h"

class QLabel;
class QPushButton;

namespace melvorin::ui {

// The main window "Form2": the search-port and key boxes, the scan button,
// the list of networks and the UDP endpoint idpsrvr1. Every handler runs on
// the window's thread; a failure of a user-event handler ends it and shows
// the error box.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    // `boxes` shows the notice and error boxes and beeps; `handOver` runs the
    // endpoint's events on this thread. Both must outlive the window.
    TForm2(IBoxes& boxes, net::THandOver& handOver, QWidget* parent = nullptr);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // Members, in the order they are created.
    QLabel* lbl_SearchPort = nullptr;
    QLabel* Key = nullptr;
    TEdit* edtKey = nullptr;
    QPushButton* btnSearch = nullptr;
    TListView* lvSsid = nullptr;
    TEdit* edt_SearchPort = nullptr;
    std::unique_ptr<net::TIdUDPServer> idpsrvr1;
    // Added under the layout above: what happened, in words.
    TStatusLine* lblStatus = nullptr;

    // Handlers.
    void FormCreate();
    void btnSearchClick();
    void lvSsidDblClick();
    void idpsrvr1UDPRead(net::TIdUDPListenerThread& AThread, const TIdBytes& AData, net::TIdSocketHandle& ABinding);
    void edt_SearchPortKeyPress(char16_t& key);
    void edtKeyKeyPress(char16_t& key);
    void edtKeyEnter();
    void edtKeyExit();

    // Shows the window, centred on the primary screen the first time.
    void ShowCentred();
    // Closes the endpoint (listeners stopped, sockets closed). From here on
    // received datagrams are dropped: nothing may open a box on the way out.
    void CloseEndpoint();

    // The layout's scale: the measured height of "0" in the window's font
    // over 13. Positions, sizes, the list's font and the client area use it.
    double Scale() const { return scale_; }
    int Scaled(int value) const;

    // Join results dropped because no join request waited for one.
    int UnaskedResults() const { return joinGate_.Unasked(); }
    // How long a join request waits for its result (30 s); for tests.
    void SetJoinResultWindow(std::chrono::milliseconds window) { joinGate_.SetWindow(window); }

    static constexpr int kClientWidth = 363;
    static constexpr int kClientHeight = 486;
    // The status line's height; the window is this much taller.
    static constexpr int kStatusHeight = 44;
    static constexpr const char* kWindowFontFamily = "WenQuanYi Micro Hei";

private:
    // Runs a user-event handler; a failure ends it and shows the error box.
    template <typename F>
    void Guarded(F&& handler);
    void ShowError(const std::string& message);
    // Runs a send; when it went out of no interface, the status line names
    // each failure before the error goes on.
    template <typename F>
    void SaySendFailures(F&& send);
    void BuildLayout(net::THandOver& handOver);

    class NoticeAdapter;
    class SendWatch;
    IBoxes& boxes_;
    std::unique_ptr<NoticeAdapter> notice_;
    TJoinGate joinGate_;
    std::unique_ptr<TGatedNotice> joinNotice_;
    std::unique_ptr<TListArrival> listArrival_;
    std::unique_ptr<TJoinSender> joinSender_;
    double scale_ = 1.0;
    bool centred_ = false;
    bool closing_ = false;
};

}  // namespace melvorin::ui
