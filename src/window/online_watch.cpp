#include "window/online_watch.h"

#include "protocol/online.h"

namespace melvorin::window {

void TOnlineWatch::JoinSent(std::optional<seal::JoinedUnit> unit, std::chrono::milliseconds wait) {
    unit_ = std::move(unit);
    until_ = std::chrono::steady_clock::now() + wait;
}

void TOnlineWatch::Answered(bool accepted) {
    if (!accepted) {
        unit_.reset();
        return;
    }
    until_ = std::chrono::steady_clock::now() + after_;
}

std::optional<std::string> TOnlineWatch::Take(const TIdBytes& datagram) {
    if (!unit_) return std::nullopt;
    if (std::chrono::steady_clock::now() >= until_) {
        unit_.reset();
        return std::nullopt;
    }
    const auto online = ParseOnline(datagram);
    if (!online) return std::nullopt;
    switch (seal::MatchOnline(*unit_, *online)) {
    case seal::OnlineMatch::Ours:
        break;
    case seal::OnlineMatch::Forged:
        throw EForgedOnline();
    case seal::OnlineMatch::NotOurs:
        return std::nullopt;
    }
    const auto& a = online->ipv4;
    return std::to_string(a[0]) + '.' + std::to_string(a[1]) + '.' + std::to_string(a[2]) + '.' + std::to_string(a[3]);
}

}  // namespace melvorin::window
