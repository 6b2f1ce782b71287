#include "window/form_logic.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/ports.h"
#include "protocol/scan.h"
#include "protocol/shown_name.h"
#include "protocol/state.h"
#include "protocol/wpa2_key.h"
#include "units/makers.h"
#include "window/error_text.h"
#include "window/join_seal.h"
#include "window/listener_guard.h"
#include "window/rules.h"
#include "window/texts.h"

namespace melvorin::window {

// The list as the exchanges fill it, each row shown by the name rule.
class TFormLogic::ListAdapter : public ISsidList {
public:
    explicit ListAdapter(IFormView& view) : view_(view) {}
    void Clear() override { view_.ClearRows(); }
    void AddRow(const TNetwork& network) override { view_.AddRow(ShowRow(network)); }
    int RowCount() const override { return view_.RowCount(); }
    int SelectedRow() const override { return view_.SelectedRow(); }

private:
    IFormView& view_;
};

class TFormLogic::KeyAdapter : public IKeyBox {
public:
    explicit KeyAdapter(IFormView& view) : view_(view) {}
    std::string Text() const override { return view_.KeyText(); }
    void SetText(const std::string& text) override { view_.SetKeyText(text); }
    void SetColor(TColor color) override { view_.SetKeyColor(color); }

private:
    IFormView& view_;
};

// The status line and the online watch hear of a join result before its
// notice box opens (and holds the listener).
class TFormLogic::NoticeAdapter : public INotice {
public:
    NoticeAdapter(IBoxes& boxes, TStatusModel& status, TOnlineWatch& online)
        : boxes_(boxes), status_(status), online_(online) {}
    void ShowNotice(const TJoinResult& result) override {
        status_.JoinAnswered(result.text, result.verdict == JoinVerdict::KeyFormat);
        online_.Answered(result.verdict == JoinVerdict::Accepted);
        boxes_.ShowNotice(result.text);
    }

private:
    IBoxes& boxes_;
    TStatusModel& status_;
    TOnlineWatch& online_;
};

namespace {

// The endpoint, noting whether an action came to sending and whether it
// sent anything.
class SendWatch : public IDatagramSender {
public:
    explicit SendWatch(IDatagramSender& sender) : sender_(sender) {}
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override {
        tried = true;
        sender_.SendDatagram(host, port, data);
        sent = true;
    }
    bool tried = false;
    bool sent = false;

private:
    IDatagramSender& sender_;
};

}  // namespace

TFormLogic::TFormLogic(IFormView& view, IBoxes& boxes, net::THandOver& handOver)
    : view_(view),
      boxes_(boxes),
      status_(view),
      list_(std::make_unique<ListAdapter>(view)),
      key_(std::make_unique<KeyAdapter>(view)),
      notice_(std::make_unique<NoticeAdapter>(boxes, status_, online_)),
      listArrival_(*list_),
      joinNotice_(*notice_, joinGate_, listArrival_),
      idpsrvr1_(std::make_unique<net::TIdUDPServer>(handOver, "idpsrvr1")) {
    idpsrvr1_->SetBroadcastEnabled(true);
    idpsrvr1_->SetDefaultPort(kReplyPort);
    idpsrvr1_->OnUDPRead = [this](net::TIdUDPListenerThread& thread, const TIdBytes& data,
                                  net::TIdSocketHandle& binding) {
        if (hooks_.before) hooks_.before(data);
        idpsrvr1UDPRead(thread, data, binding);
        if (hooks_.after) hooks_.after(data);
    };
    joinSender_ = std::make_unique<TJoinSender>(*idpsrvr1_, listArrival_, joinGate_);
}

TFormLogic::~TFormLogic() {
    CloseEndpoint();
    idpsrvr1_.reset();
}

void TFormLogic::SetUnitLookup(std::function<net::TNeighbourTable()> readNeighbours, std::string makersFolder) {
    readNeighbours_ = std::move(readNeighbours);
    makersFolder_ = std::move(makersFolder);
    makers_.reset();
}

TSealTarget TFormLogic::SealTarget(std::optional<seal::JoinedUnit>& joined) {
    const TPeer& peer = listArrival_.ShownFrom();
    const auto hardware = readNeighbours_().Find(peer.Interface, peer.Address);
    joined.reset();
    if (hardware) joined = seal::JoinedUnit{hardware->octets, std::nullopt, {}};
    TSealTarget target{listArrival_.ShownAdvert(), hardware ? units::FormatHardwareAddress(*hardware) : "", ""};
    target.name = target.hardware.empty()
                      ? Format(MLV_TR("JoinRequest", "The device at %1"), {peer.Address})
                      : Format(MLV_TR("JoinRequest", "The device at %1 (%2)"), {peer.Address, target.hardware});
    return target;
}

TUnitName TFormLogic::UnitAt(const TPeer& peer) {
    const auto hardware = readNeighbours_().Find(peer.Interface, peer.Address);
    if (!hardware) return {};
    if (!makers_) {
        makers_ = std::make_unique<units::Makers>(makersFolder_.empty() ? units::Makers::DefaultFolder() : makersFolder_);
    }
    return {units::FormatHardwareAddress(*hardware), makers_->MakerOf(*hardware).value_or("")};
}

template <typename F>
void TFormLogic::Guarded(F&& handler) {
    std::string message;
    try {
        handler();
        return;
    } catch (const Exception& e) {
        message = e.Message();
    } catch (const std::exception& e) {
        message = e.what();
    }
    boxes_.ShowError(ErrorText(message));
}

template <typename F>
bool TFormLogic::ReportSendFailures(IDatagramSender& sender, F&& action) {
    SendWatch watch(sender);
    try {
        action(watch);
    } catch (...) {
        // Out of no interface: the line names each one and why, the error
        // box the first. An action that failed before sending (port text,
        // length, code page) has no failures of its own: those of an
        // earlier send are not told again.
        const auto failed = watch.tried ? idpsrvr1_->LastSendFailures() : std::vector<net::TIdSendFailure>();
        if (!failed.empty()) status_.NothingSent(failed);
        throw;
    }
    return watch.sent;
}

void TFormLogic::CloseEndpoint() {
    closing_ = true;
    if (idpsrvr1_) idpsrvr1_->SetActive(false);
}

void TFormLogic::TimedOut(TTimer timer) { status_.TimedOut(timer); }

// ---- handlers -------------------------------------------------------------

void TFormLogic::FormCreate() { btnSearchClick(); }

void TFormLogic::btnSearchClick() {
    Guarded([this] {
        ReportSendFailures(*idpsrvr1_, [this](IDatagramSender& sender) { Scan(view_.PortText(), sender); });
        status_.ScanSent(idpsrvr1_->LastSendInterfaces(), idpsrvr1_->LastSendFailures());
    });
}

void TFormLogic::lvSsidDblClick() {
    Guarded([this] {
        // The guard and the seal refuse before the send is tried: no
        // failure of an earlier send is told again. A sealed join needs no
        // guard: no one else can read its key.
        TJoinWay way = TJoinWay::Clear;
        std::optional<seal::JoinedUnit> joined;
        const bool sent = ReportSendFailures(*joinSender_, [this, &way, &joined](IDatagramSender& sender) {
            TListenerGuard guard(sender);
            TSealingSender sealing(guard, sender, SealTarget(joined),
                                   [this](const std::string& error) { idpsrvr1_->LogDropped(error); });
            Join(listArrival_, *key_, sealing);
            way = sealing.Way();
            if (sealing.Sealed()) {
                // The unit's online announcement is matched by the same
                // context and token.
                if (joined) {
                    joined->sender = *sealing.Sealed();
                    std::copy(sealing.Token().begin(), sealing.Token().end(), joined->token.begin());
                }
                joinGate_.ExpectTag(std::move(*sealing.Sealed()));
            }
        });
        if (sent) {
            online_.JoinSent(std::move(joined), joinGate_.Window());
            status_.JoinSent(ShowName(BytesToText(State().SelectedSsid)).text, idpsrvr1_->LastSendInterfaces(),
                             idpsrvr1_->LastSendFailures(), IsWpa2Key(view_.KeyText()), way);
        }
    });
}

void TFormLogic::idpsrvr1UDPRead(net::TIdUDPListenerThread& /*AThread*/, const TIdBytes& AData,
                                 net::TIdSocketHandle& ABinding) {
    if (closing_) return;
    // What the handler drops goes to the endpoint's log; so does a failure
    // of the steps around it, which ends this datagram's handling too.
    const TDroppedError dropped = [this](const std::string& error) { idpsrvr1_->LogDropped(error); };
    try {
        listArrival_.Arrival = {ABinding.PeerIP, ABinding.PeerInterfaceIndex, ABinding.PeerInterface};
        listArrival_.ArrivalBytes = AData;
        const TDatagramKind kind = HandleDatagram(AData, listArrival_, joinNotice_, dropped);
        listArrival_.ArrivalBytes = {};
        // Beside the exchanges, which drop it: the joined unit's online
        // announcement, heard on any of this station's links.
        if (const auto address = online_.Take(AData)) status_.Online(*address);
        if (kind == TDatagramKind::ListReply) {
            // The list's sender: a list reply handled inside a notice this
            // datagram opened has replaced this one's.
            const TPeer& from = listArrival_.ShownFrom();
            status_.ListShown(view_.RowCount(), from.Address, from.InterfaceName, UnitAt(from));
        }
        // Join results that came unasked are counted on the line, quietly.
        status_.SetUnasked(UnaskedResults());
    } catch (...) {
        PassDropped(dropped);
    }
}

void TFormLogic::edt_SearchPortKeyPress(char16_t& key) {
    Guarded([this, &key] {
        if (SearchPortKey(key) == TKeyVerdict::Keep) return;
        key = 0;
        boxes_.Beep();
    });
}

void TFormLogic::edtKeyKeyPress(char16_t& key) {
    Guarded([&key] {
        if (KeyBoxKey(key) != TKeyVerdict::Keep) key = 0;
    });
}

void TFormLogic::edtKeyEnter() {
    Guarded([this] {
        view_.SetKeyColor(clKeyFocus);
        if (view_.KeyText() == kKeyPrompt) view_.SetKeyText("");
    });
}

void TFormLogic::edtKeyExit() {
    Guarded([this] { view_.SetKeyWindowColor(); });
}

}  // namespace melvorin::window
