#pragma once

// The window's join, sealed when the unit that sent the shown list offered
// the seal (docs/sealed-join.md): the protocol builds the join request as
// ever, and this sender passes it on unchanged, sends the sealed join with
// the same SSID and key in its place, or refuses a unit that offered the
// seal before and now does not.

#include <functional>
#include <optional>
#include <string>

#include "protocol/sender.h"
#include "seal/sealed_join.h"
#include "window/status_model.h"

namespace melvorin::window {

// The unit a join goes to: what it offered, its hardware address where known
// ("24:6f:28:00:00:01") and how the error box names it.
struct TSealTarget {
    std::optional<seal::Advert> offer;
    std::string hardware;
    std::string name;
};

class TSealingSender : public IDatagramSender {
public:
    // `clear` takes a join request in clear, `sealed` a sealed one; `log`
    // hears of pins that could not be read or written (the join goes on).
    TSealingSender(IDatagramSender& clear, IDatagramSender& sealed, TSealTarget target,
                   std::function<void(const std::string&)> log)
        : clear_(clear), sealed_(sealed), target_(std::move(target)), log_(std::move(log)) {}

    // `data` is the join request in clear. Raises an error (the message in
    // the user's language) with nothing sent when the unit is refused.
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override;

    // How the join request went, and the sealed join's context for its
    // result's tag.
    TJoinWay Way() const { return way_; }
    std::optional<seal::Sender>& Sealed() { return sender_; }
    // The sealed join's token (empty in clear): the unit's online
    // announcement names the join by it.
    const seal::Bytes& Token() const { return token_; }

private:
    IDatagramSender& clear_;
    IDatagramSender& sealed_;
    TSealTarget target_;
    std::function<void(const std::string&)> log_;
    TJoinWay way_ = TJoinWay::Clear;
    std::optional<seal::Sender> sender_;
    seal::Bytes token_;
};

}  // namespace melvorin::window
