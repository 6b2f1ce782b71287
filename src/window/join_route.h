#pragma once

// The window's side of the join exchange on a real network: the join request
// goes back only to the segment the shown list came from, and a join result
// is shown only while a join request waits for it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "net/udp_server.h"
#include "protocol/errors.h"
#include "protocol/sender.h"
#include "protocol/widgets.h"
#include "seal/sealed_join.h"

namespace melvorin::window {

// Where a datagram came from: the sender's address and the interface it
// arrived on (0: unknown).
struct TPeer {
    std::string Address;
    unsigned Interface = 0;
    std::string InterfaceName;
};

// Whether a join request waits for its result: from sending it until the
// first result from the device asked is taken, or until the window (30 s)
// has passed.
class TJoinGate {
public:
    // A join request went to the device that sent the shown list (`asked`;
    // an empty address: any device).
    void Sent(const TPeer& asked);
    // The join request just sent was sealed: its result counts only with
    // the tag of `sealed`.
    void ExpectTag(seal::Sender sealed) { sealed_ = std::move(sealed); }
    // A result (`datagram`) came from `from`: true when it is to be shown,
    // and then nothing waits any more, so a repeat is not shown. A result
    // from another device is unasked and leaves the wait as it was. One for
    // a sealed join without its tag raises EForgedResult and leaves the
    // wait as it was.
    bool Take(const TPeer& from, seal::View datagram = {});
    // Results that came while nothing waited.
    int Unasked() const { return unasked_; }
    void SetWindow(std::chrono::milliseconds window) { window_ = window; }
    std::chrono::milliseconds Window() const { return window_; }

private:
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::chrono::milliseconds window_{std::chrono::seconds(30)};
    TPeer asked_;
    std::optional<seal::Sender> sealed_;
    int unasked_ = 0;
};

// A join result that a sealed join's unit did not tag: dropped as a bad
// datagram is.
using EForgedResult = TFixedError<"EForgedResult", "A join result without the sealed join's tag">;

// The list as a list reply fills it, noting where the shown list came from
// and the seal it offered (the datagram handler sets Arrival and
// ArrivalBytes before each dispatch).
class TListArrival : public ISsidList {
public:
    explicit TListArrival(ISsidList& list) : list_(list) {}
    TPeer Arrival;
    seal::View ArrivalBytes;
    const TPeer& ShownFrom() const { return shownFrom_; }
    const std::optional<seal::Advert>& ShownAdvert() const { return shownAdvert_; }

    void Clear() override;
    void AddRow(const TNetwork& network) override { list_.AddRow(network); }
    int RowCount() const override { return list_.RowCount(); }
    int SelectedRow() const override { return list_.SelectedRow(); }

private:
    ISsidList& list_;
    TPeer shownFrom_;
    std::optional<seal::Advert> shownAdvert_;
};

// Sends the join request (in clear, or sealed: join_seal.h) out of the
// interface the shown list came in by; where that is unknown or no
// broadcast interface (loopback), as the scan goes. A request sent opens the
// gate.
class TJoinSender : public IDatagramSender {
public:
    TJoinSender(net::TIdUDPServer& endpoint, const TListArrival& list, TJoinGate& gate)
        : endpoint_(endpoint), list_(list), gate_(gate) {}
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override;

private:
    net::TIdUDPServer& endpoint_;
    const TListArrival& list_;
    TJoinGate& gate_;
};

// A join result's notice, shown only through the gate, for the datagram
// that `arrival` says is being handled.
class TGatedNotice : public INotice {
public:
    TGatedNotice(INotice& notice, TJoinGate& gate, const TListArrival& arrival)
        : notice_(notice), gate_(gate), arrival_(arrival) {}
    void ShowNotice(const TJoinResult& result) override {
        if (gate_.Take(arrival_.Arrival, arrival_.ArrivalBytes)) notice_.ShowNotice(result);
    }

private:
    INotice& notice_;
    TJoinGate& gate_;
    const TListArrival& arrival_;
};

}  // namespace melvorin::window
