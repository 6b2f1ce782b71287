#include "cli/session.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

#include "cli/route.h"
#include "net/neighbours.h"
#include "net/sockets.h"
#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/ports.h"
#include "protocol/sender.h"
#include "protocol/widgets.h"
#include "protocol/scan.h"
#include "protocol/state.h"

namespace melvorin::cli {

namespace {

// The networks of a list reply, in the order the reply lists them.
class RowRecorder : public ISsidList {
public:
    void Clear() override { rows.clear(); }
    void AddRow(const TNetwork& network) override { rows.push_back({network.text, network.bytes, network.strength}); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return -1; }

    std::vector<NetworkRow> rows;
};

class NoticeRecorder : public INotice {
public:
    void ShowNotice(const TJoinResult& shown) override { result = shown; }
    std::optional<TJoinResult> result;
};

// How long a scan for one unit by its address goes on after it answered, so
// that another unit at that address, answering the same request, is heard.
constexpr std::chrono::milliseconds kSameRequestGrace{250};

// How often a wait looks at the stop request.
constexpr std::chrono::milliseconds kStopPoll{100};

std::chrono::steady_clock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

// Sends out of the chosen interfaces, or as the window does when none was
// chosen.
class Session::Sender : public IDatagramSender {
public:
    Sender(net::TIdUDPServer& endpoint, const std::vector<unsigned>& interfaces)
        : endpoint_(endpoint), interfaces_(interfaces) {}
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override {
        Send(host, port, data);
    }
    // From where the bytes are: a join request is not copied.
    void Send(const std::string& host, std::uint16_t port, ByteView data) {
        if (interfaces_.empty()) {
            endpoint_.SendDatagramOn(0, host, port, data);
            return;
        }
        for (const unsigned index : interfaces_) endpoint_.SendDatagramOn(index, host, port, data);
    }

private:
    net::TIdUDPServer& endpoint_;
    const std::vector<unsigned>& interfaces_;
};

Session::Session(std::uint16_t port, std::vector<unsigned> interfaces) : port_(port), interfaces_(std::move(interfaces)) {
    // The one place the endpoint is made: as the window makes its own.
    endpoint_ = std::make_unique<net::TIdUDPServer>(handOver_, "cli");
    endpoint_->SetBroadcastEnabled(true);
    endpoint_->SetDefaultPort(kReplyPort);
    endpoint_->ThreadedEvent = true;
    endpoint_->OnUDPRead = [this](net::TIdUDPListenerThread&, const TIdBytes& data, net::TIdSocketHandle& binding) {
        OnRead(data, binding);
    };
    sender_ = std::make_unique<Sender>(*endpoint_, interfaces_);
}

Session::~Session() {
    // Listeners still reading find everything in place.
    endpoint_.reset();
}

void Session::OnRead(const TIdBytes& data, net::TIdSocketHandle& binding) {
    // The network a unit joined may be on any link.
    if (OnOnlineRead(data, binding)) return;
    if (!interfaces_.empty() && binding.PeerInterfaceIndex != 0 &&
        std::find(interfaces_.begin(), interfaces_.end(), binding.PeerInterfaceIndex) == interfaces_.end()) {
        return;  // arrived on an interface we were told to leave alone
    }
    RowRecorder rows;
    NoticeRecorder notice;
    // The reading of a list reply keeps the table of the last one, as the
    // window's does: one listener at a time.
    const std::lock_guard<std::mutex> lock(lock_);
    const TDatagramKind kind = HandleDatagram(data, rows, notice);

    const UnitKey from{binding.PeerInterfaceIndex, binding.PeerIP};
    if (phase_ == Phase::Watching) {
        OnWatchRead(kind, from, std::move(rows.rows), notice.result, binding, data);
        return;
    }
    if (kind == TDatagramKind::ListReply) NoteOffer(from, data);
    if (kind == TDatagramKind::ListReply && phase_ == Phase::Scanning) {
        DeviceReport& device = devices_[from];  // a later reply's list replaces the earlier
        device.advert = seal::FindAdvert(data);
        device.address = binding.PeerIP;
        device.interfaceName = binding.PeerInterface;
        device.interfaceIndex = binding.PeerInterfaceIndex;
        device.networks = std::move(rows.rows);
        std::stable_sort(device.networks.begin(), device.networks.end(),
                         [](const NetworkRow& a, const NetworkRow& b) { return a.strength > b.strength; });
        ++heard_;
        // The waiting thread is woken only when it may go on.
        if (until_ && until_->address && device.address == *until_->address) changed_.notify_all();
    }
    if (notice.result && phase_ == Phase::Joining && !results_.count(from)) {
        JoinReport report;
        report.address = binding.PeerIP;
        report.interfaceName = binding.PeerInterface;
        report.verdict = VerdictOf(notice.result->verdict);
        report.message = notice.result->text;
        if (!Vouches(from, data, report)) return;
        const auto scanned = devices_.find(from);  // known from the scan: no reading needed
        if (scanned != devices_.end()) {
            report.mac = scanned->second.mac;
            report.vendor = scanned->second.vendor;
        }
        ++heard_;
        // A unit addressed without its link is awaited by its address alone.
        if (awaited_.erase(from) == 0) awaited_.erase({0, from.address});
        results_[from] = std::move(report);
        arrived_.push_back(from);
        changed_.notify_all();
    }
}

void Session::WaitUntil(Clock::time_point deadline, const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(lock_);
    // A signal wakes no one: the stop request is looked at now and then.
    while (!done() && !Stopping()) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return;
        changed_.wait_until(lock, std::min(deadline, now + kStopPoll));
    }
}

void Session::SetPhase(Phase phase) {
    const std::lock_guard<std::mutex> lock(lock_);
    phase_ = phase;
}

bool Session::FoundLocked() const {
    return until_ && std::any_of(devices_.begin(), devices_.end(),
                                 [this](const auto& entry) { return Chooses(*until_, entry.second); });
}

void Session::LearnHardwareAddresses() {
    std::vector<UnitKey> unknown;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        if (heard_ == heardAtReading_) return;
        heardAtReading_ = heard_;
        for (const auto& [key, device] : devices_) {
            if (!device.mac) unknown.push_back(key);
        }
        for (const auto& [key, result] : results_) {
            if (!result.mac) unknown.push_back(key);
        }
    }
    if (unknown.empty()) return;
    const auto learnt = LookUp(unknown);
    const std::lock_guard<std::mutex> lock(lock_);
    for (auto& [key, device] : devices_) {
        const auto it = learnt.find(key);
        if (it != learnt.end() && !device.mac) std::tie(device.mac, device.vendor) = it->second;
    }
    for (auto& [key, result] : results_) {
        const auto it = learnt.find(key);
        if (it != learnt.end() && !result.mac) std::tie(result.mac, result.vendor) = it->second;
    }
}

std::map<UnitKey, std::pair<std::string, std::optional<std::string>>> Session::LookUp(
    const std::vector<UnitKey>& keys) {
    const net::TNeighbourTable table = net::TNeighbourTable::Read();
    std::map<UnitKey, std::pair<std::string, std::optional<std::string>>> learnt;
    for (const UnitKey& key : keys) {
        const std::optional<units::HardwareAddress> hardware = table.Find(key.interfaceIndex, key.address);
        if (hardware) learnt[key] = {units::FormatHardwareAddress(*hardware), makers_.MakerOf(*hardware)};
    }
    return learnt;
}

void Session::Scan(double seconds, const std::optional<DeviceChoice>& until) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + Seconds(seconds);
    Clock::time_point next = start;
    // Set once the unit waited for has answered: the scan ends then.
    std::optional<Clock::time_point> stop;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        until_ = until;
        phase_ = Phase::Scanning;
    }
    try {
        for (;;) {
            Clock::time_point now = Clock::now();
            if (now >= end || (stop && now >= *stop) || Stopping()) break;
            if (!stop && now >= next) {
                SendScan();
                next += std::chrono::seconds(1);
            }
            // Once found, no more rounds: only the rest of the grace.
            WaitUntil(stop ? std::min(*stop, end) : std::min(next, end), [this, &stop] { return !stop && FoundLocked(); });
            now = Clock::now();
            if (!stop && (now >= next || now >= end)) LearnHardwareAddresses();  // a round has ended
            if (!stop) {
                const std::lock_guard<std::mutex> lock(lock_);
                // By its address: not before the first round has ended, so
                // that every unit at that address has answered.
                const Clock::time_point firstRound = start + std::chrono::seconds(1);
                if (FoundLocked()) stop = until_->address ? std::max(now + kSameRequestGrace, firstRound) : now;
            }
        }
    } catch (...) {
        SetPhase(Phase::Idle);
        throw;
    }
    SetPhase(Phase::Idle);
    LearnHardwareAddresses();
}

std::vector<DeviceReport> Session::Devices() const {
    std::vector<DeviceReport> out;
    for (const auto& entry : devices_) out.push_back(entry.second);
    std::stable_sort(out.begin(), out.end(),
                     [](const DeviceReport& a, const DeviceReport& b) { return AddressBefore(a.address, b.address); });
    return out;
}

void Session::SendScan() {
    // The window's scan: the same request, port rules and send.
    melvorin::Scan(std::to_string(port_), *sender_);
    ReportSendFailures();
}

void Session::SendJoin(const JoinRequest& request, bool check) {
    if (check && BeforeJoin) BeforeJoin(port_, request.host);
    {
        const std::lock_guard<std::mutex> lock(lock_);
        NoteSealedSend(request);
    }
    if (!request.host.empty()) {
        endpoint_->SendDatagramOn(request.interfaceIndex, request.host, port_, request.frame);
    } else {
        if (request.interfaceIndex == 0) {
            sender_->Send(kBroadcastHost, port_, request.frame);
        } else {
            endpoint_->SendDatagramOn(request.interfaceIndex, kBroadcastHost, port_, request.frame);
        }
    }
    ReportSendFailures();
}

void Session::ReportSendFailures() {
    for (const net::TIdSendFailure& failure : endpoint_->LastSendFailures()) {
        if (failedInterfaces_.insert(failure.Interface).second && OnSendFailure) OnSendFailure(failure);
    }
    if (bufferTold_) return;
    bufferTold_ = true;
    const int held = endpoint_->ReceiveBufferHeld();
    const std::string raise = net::TIdUDPServer::RaiseReceiveBufferCap();
    if (held > 0 && held < net::TIdUDPServer::kReceiveBufferWanted && !raise.empty() && OnSmallReceiveBuffer) {
        OnSmallReceiveBuffer(held, raise);
    }
}

void Session::Join(std::vector<JoinRequest> requests, double seconds, int retries) {
    if (requests.empty()) return;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        for (const JoinRequest& request : requests) awaited_.insert(request.units.begin(), request.units.end());
        phase_ = Phase::Joining;
    }
    const bool addressed = std::any_of(requests.begin(), requests.end(),
                                       [](const JoinRequest& r) { return !r.units.empty(); });
    const auto allIn = [this, addressed] { return addressed && awaited_.empty(); };

    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + Seconds(seconds);
    try {
        // None goes out when one may not.
        if (BeforeJoin) {
            for (const JoinRequest& request : requests) BeforeJoin(port_, request.host);
        }
        for (int sent = 0; !Stopping(); ++sent) {
            for (JoinRequest* request : Due(requests, sent > 0, end)) {
                try {
                    SendJoin(*request, sent > 0);
                } catch (const Exception&) {
                    if (sent == 0) throw;
                    retries = sent;  // the link went away: wait for what is on its way
                }
            }
            const Clock::time_point next = start + std::chrono::seconds(sent + 1);
            const bool again = addressed && sent < retries && next < end;
            for (;;) {
                WaitUntil(again ? next : end, [this, &allIn] { return allIn() || !arrived_.empty(); });
                TellResults();
                const std::lock_guard<std::mutex> lock(lock_);
                if (allIn() || Stopping() || Clock::now() >= (again ? next : end)) break;
            }
            const std::lock_guard<std::mutex> lock(lock_);
            if (!again || allIn()) break;
        }
    } catch (...) {
        SetPhase(Phase::Idle);
        throw;
    }
    SetPhase(Phase::Idle);
    LearnHardwareAddresses();
    TellResults();
}

void Session::TellResults() {
    if (OnJoinResult) LearnHardwareAddresses();
    std::vector<std::pair<UnitKey, JoinReport>> told;
    {
        const std::lock_guard<std::mutex> lock(lock_);
        for (const UnitKey& unit : arrived_) told.emplace_back(unit, results_.at(unit));
        arrived_.clear();
    }
    if (!OnJoinResult) return;
    for (const auto& [unit, result] : told) OnJoinResult(unit, result);
}

}  // namespace melvorin::cli
