#include "window/join_seal.h"

#include <random>

#include "protocol/errors.h"
#include "protocol/state.h"
#include "seal/choice.h"
#include "units/pins.h"
#include "window/texts.h"

namespace melvorin::window {

namespace {

// A join refused before anything was sent.
using ESealRefused = TErrorKind<"ESealRefused">;

// The key pinned to `hardware`; none when the pins cannot be read (told to
// `log`): the join goes on as for a unit seen for the first time.
std::optional<seal::Bytes> PinnedKey(const std::string& hardware, const std::function<void(const std::string&)>& log) {
    if (hardware.empty()) return std::nullopt;
    try {
        const units::PinStore pins(units::PinStore::DefaultPath());
        const auto key = pins.Find(hardware);
        if (!key) return std::nullopt;
        return seal::Bytes(key->begin(), key->end());
    } catch (const units::PinError& e) {
        log(std::string("PinError: ") + e.what());
    }
    return std::nullopt;
}

void Pin(const std::string& hardware, const seal::Bytes& key, const std::function<void(const std::string&)>& log) {
    try {
        units::PinStore pins(units::PinStore::DefaultPath());
        pins.Pin(hardware, units::PinnedKey(key.begin(), key.end()));
    } catch (const units::PinError& e) {
        log(std::string("PinError: ") + e.what());
    }
}

// The station's token: 16 bytes from the system's random source.
seal::Bytes FreshToken() {
    std::random_device source;
    seal::Bytes token(seal::kTokenSize);
    for (auto& byte : token) byte = static_cast<std::uint8_t>(source());
    return token;
}

}  // namespace

void TSealingSender::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    const seal::SealDecision decision =
        seal::DecideSeal(target_.offer, PinnedKey(target_.hardware, log_), std::nullopt, false);
    switch (decision.choice) {
    case seal::SealChoice::Sealed:
        break;
    case seal::SealChoice::Clear:
        way_ = TJoinWay::Clear;
        clear_.SendDatagram(host, port, data);
        return;
    default:
        throw ESealRefused(Format(
            target_.offer ? MLV_TR("JoinRequest", "%1: the unit offers another key than the one pinned to it; refused "
                                                  "to send the key")
                          : MLV_TR("JoinRequest", "%1: the unit offered a sealed join before; refused to send the key "
                                                  "in clear"),
            {target_.name}));
    }

    // The same SSID and key as the request in clear: 00 <SSID> 0D 0A <key>
    // after its four header bytes, its checksum last.
    const TIdBytes& ssid = State().SelectedSsid;
    const std::size_t keyStart = 4 + 1 + ssid.size() + 2;
    if (data.size() < keyStart + 1) throw ERangeError();
    const seal::View key(data.data() + keyStart, data.size() - keyStart - 1);
    const seal::Bytes token = FreshToken();
    auto join = seal::BuildSealedJoin(*target_.offer, ssid, key, token);
    if (!join) {
        throw ESealRefused(Format(MLV_TR("JoinRequest", "Nothing was sent: the network's name and key are too long "
                                                       "for a sealed join, which takes %1 bytes of both at most"),
                                 {std::to_string(seal::kMaxSsidAndKey)}));
    }
    sealed_.SendDatagram(host, port, join->frame);
    way_ = TJoinWay::Sealed;
    sender_ = std::move(join->sender);
    token_ = token;
    if (decision.pinNow && !target_.hardware.empty()) Pin(target_.hardware, target_.offer->public_key, log_);
}

}  // namespace melvorin::window
