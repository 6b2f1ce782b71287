#pragma once

// The main window's logic, the same for every window that draws it: the
// eight handlers, the endpoint idpsrvr1 and its wiring, the join route and
// the status line. A window builds its controls, implements IFormView and
// turns its events into calls here; its boxes (IBoxes) show what the
// handlers have to say.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "net/handover.h"
#include "net/neighbours.h"
#include "net/udp_server.h"
#include "window/boxes.h"
#include "window/join_route.h"
#include "window/online_watch.h"
#include "window/status_model.h"
#include "window/view.h"

namespace melvorin::units {
class Makers;
}

namespace melvorin::window {

struct TSealTarget;

class TFormLogic {
public:
    // `view` and `boxes` outlive the logic; `handOver` runs the endpoint's
    // events on the window's thread.
    TFormLogic(IFormView& view, IBoxes& boxes, net::THandOver& handOver);
    // Closes the endpoint before any other member goes: a hand-over still
    // running during its closing finds them alive.
    ~TFormLogic();
    TFormLogic(const TFormLogic&) = delete;
    TFormLogic& operator=(const TFormLogic&) = delete;

    // Handlers. The user-event ones end on a failure with the error box.
    void FormCreate();
    void btnSearchClick();
    void lvSsidDblClick();
    void idpsrvr1UDPRead(net::TIdUDPListenerThread& AThread, const TIdBytes& AData, net::TIdSocketHandle& ABinding);
    void edt_SearchPortKeyPress(char16_t& key);
    void edtKeyKeyPress(char16_t& key);
    void edtKeyEnter();
    void edtKeyExit();

    // A timer the status line started ran out.
    void TimedOut(TTimer timer);

    // Closes the endpoint (listeners stopped, sockets closed). From here on
    // received datagrams are dropped: nothing may open a box on the way out.
    void CloseEndpoint();

    net::TIdUDPServer& Endpoint() { return *idpsrvr1_; }
    TStatusModel& Status() { return status_; }

    // Join results dropped because no join request waited for one.
    int UnaskedResults() const { return joinGate_.Unasked(); }
    // How long a join request waits for its result (30 s); for tests.
    void SetJoinResultWindow(std::chrono::milliseconds window) { joinGate_.SetWindow(window); }
    // How long after an accepted join the unit's online announcement is
    // heard (60 s); for tests.
    void SetOnlineWindow(std::chrono::milliseconds window) { online_.SetAfterResult(window); }

    // Called around the handling of every received datagram (benchmarks
    // time the handler with them).
    struct TReadHooks {
        std::function<void(const TIdBytes&)> before;
        std::function<void(const TIdBytes&)> after;
    };
    void SetReadHooks(TReadHooks hooks) { hooks_ = std::move(hooks); }

    // Where the status line learns which unit sent a list: a neighbour table
    // read once per list reply (the system's by default) and the makers'
    // registries in `makersFolder`. Only tests change them.
    void SetUnitLookup(std::function<net::TNeighbourTable()> readNeighbours, std::string makersFolder);

private:
    template <typename F>
    void Guarded(F&& handler);
    // Runs `action` with `sender`; whether it sent.
    template <typename F>
    bool ReportSendFailures(IDatagramSender& sender, F&& action);
    // The hardware address and maker of the unit at `peer`, where known.
    TUnitName UnitAt(const TPeer& peer);
    // The unit that sent the shown list, for the join's seal; `joined` its
    // hardware address for its online announcement, where known.
    TSealTarget SealTarget(std::optional<seal::JoinedUnit>& joined);

    class ListAdapter;
    class KeyAdapter;
    class NoticeAdapter;
    IFormView& view_;
    IBoxes& boxes_;
    TStatusModel status_;
    std::unique_ptr<ListAdapter> list_;
    std::unique_ptr<KeyAdapter> key_;
    std::unique_ptr<NoticeAdapter> notice_;
    TJoinGate joinGate_;
    TOnlineWatch online_;
    TListArrival listArrival_;
    TGatedNotice joinNotice_;
    std::unique_ptr<net::TIdUDPServer> idpsrvr1_;
    std::unique_ptr<TJoinSender> joinSender_;
    TReadHooks hooks_;
    std::function<net::TNeighbourTable()> readNeighbours_ = &net::TNeighbourTable::Read;
    std::string makersFolder_;
    std::unique_ptr<units::Makers> makers_;  // made on first use
    bool closing_ = false;
};

}  // namespace melvorin::window
