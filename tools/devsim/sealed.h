#pragma once

// The simulated device as a unit that offers the sealed join
// (docs/sealed-join.md): the unit library's sealed extension on Mbed TLS
// around the device's own request handling.

#include <memory>
#include <optional>
#include <string>

#include "devsim/device.h"

namespace melvorin::devsim {

class SealedUnit {
public:
    // The unit's key from `keyFile`: its secret scalar in hex on one line,
    // made (mode 0600) when the file does not exist. Raises
    // std::runtime_error when it cannot be read, made or used.
    explicit SealedUnit(const std::string& keyFile);
    ~SealedUnit();
    SealedUnit(const SealedUnit&) = delete;
    SealedUnit& operator=(const SealedUnit&) = delete;

    // The label code of the unit's public key.
    std::string LabelCode() const;

    // HandleRequest with the seal: every list reply that has room carries
    // the advertisement with a fresh nonce; a sealed join (command 0x03)
    // whose nonce is live is opened and judged as a join request would be,
    // and its result carries the tag. Never throws for any datagram.
    std::optional<TIdBytes> Handle(const TIdBytes& datagram, const DeviceConfig& config);

    // The sealed online announcement of the join accepted last, for these
    // hardware (6 bytes) and IPv4 (4) addresses; empty when no accepted
    // sealed join is kept.
    std::optional<TIdBytes> Online(const std::uint8_t* mac, const std::uint8_t* ipv4);
    // Forgets that join's secret: its announcements are over.
    void EndOnline();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace melvorin::devsim
