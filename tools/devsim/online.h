#pragma once

// The online announcement of melvorin-devsim --target-link (command 0x84,
// docs/sealed-join.md): after a join it accepts, the device announces
// itself on its target link, from the address that link has, as a unit of
// the device library does: at 0, 1, 2, 4 and 8 s, then no more.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "devsim/sealed.h"
#include "net/descriptor.h"
#include "protocol/bytes.h"

namespace melvorin::devsim {

struct LinkAddresses {
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 4> ipv4{};  // network order
};

// The hardware address and first IPv4 address of interface `name`
// (getifaddrs); empty, with `problem` saying why, when it has either not.
std::optional<LinkAddresses> ReadLinkAddresses(const std::string& name, std::string& problem);

// Whether a reply is a join result that accepts both SSID and key.
bool JoinAccepted(const TIdBytes& reply);

class Announcer {
public:
    Announcer(std::string link, bool verbose) : link_(std::move(link)), verbose_(verbose) {}

    // After an accepted join (sealed when `sealed` is given: its
    // announcement is tagged): reads the link's addresses, opens a socket
    // bound to that link and address and starts the schedule over with the
    // first announcement sent now. Says on stderr why not, when it cannot.
    void Joined(SealedUnit* sealed);
    // Milliseconds until the next announcement is due; -1 for none.
    int TimeoutMs() const;
    // Sends the announcement when it is due.
    void SendDue();

private:
    void Send();

    std::string link_;
    bool verbose_;
    SealedUnit* sealed_ = nullptr;  // the sealed unit to tell when it is over
    net::TDescriptor socket_;
    TIdBytes frame_;
    unsigned sent_ = 0;
    std::optional<std::chrono::steady_clock::time_point> next_;
};

}  // namespace melvorin::devsim
