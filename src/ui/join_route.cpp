#include "ui/join_route.h"

#include <algorithm>

#include "net/interfaces.h"

namespace melvorin::ui {

void TJoinGate::Sent() { deadline_ = std::chrono::steady_clock::now() + window_; }

bool TJoinGate::Take() {
    const bool waiting = deadline_ && std::chrono::steady_clock::now() < *deadline_;
    // Cleared before the notice opens: a repeat handled inside it is unasked.
    deadline_.reset();
    if (!waiting) ++unasked_;
    return waiting;
}

void TListArrival::Clear() {
    shownFrom_ = Arrival;
    ++lists_;
    list_.Clear();
}

void TJoinSender::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    const unsigned shownFrom = list_.ShownFrom();
    const auto interfaces = net::BroadcastInterfaces();
    const bool broadcasts = std::any_of(interfaces.begin(), interfaces.end(),
                                        [shownFrom](const net::TIdInterface& i) { return i.Index == shownFrom; });
    endpoint_.SendDatagramOn(broadcasts ? shownFrom : 0, host, port, data);
    gate_.Sent();
}

}  // namespace melvorin::ui
