#include "window/join_route.h"

#include <algorithm>

#include "net/interfaces.h"

namespace melvorin::window {

void TJoinGate::Sent(const TPeer& asked) {
    asked_ = asked;
    sealed_.reset();
    deadline_ = std::chrono::steady_clock::now() + window_;
}

bool TJoinGate::Take(const TPeer& from, seal::View datagram) {
    const bool waiting = deadline_ && std::chrono::steady_clock::now() < *deadline_;
    const bool fromAsked = asked_.Address.empty() ||
                           (from.Address == asked_.Address &&
                            (asked_.Interface == 0 || from.Interface == 0 || from.Interface == asked_.Interface));
    if (!waiting || !fromAsked) {
        if (!waiting) deadline_.reset();
        ++unasked_;
        return false;
    }
    if (sealed_ && !seal::ResultIsTagged(*sealed_, datagram)) throw EForgedResult();
    // Cleared before the notice opens: a repeat handled inside it is unasked.
    deadline_.reset();
    sealed_.reset();
    return true;
}

void TListArrival::Clear() {
    shownFrom_ = Arrival;
    shownAdvert_ = seal::FindAdvert(ArrivalBytes);
    list_.Clear();
}

void TJoinSender::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    const unsigned shownFrom = list_.ShownFrom().Interface;
    const auto interfaces = net::BroadcastInterfaces();
    const bool broadcasts = std::any_of(interfaces.begin(), interfaces.end(),
                                        [shownFrom](const net::TIdInterface& i) { return i.Index == shownFrom; });
    endpoint_.SendDatagramOn(broadcasts ? shownFrom : 0, host, port, data);
    gate_.Sent(list_.ShownFrom());
}

}  // namespace melvorin::window
