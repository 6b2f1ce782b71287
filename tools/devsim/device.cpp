#include "devsim/device.h"

#include <melvorin_device.h>

#include <algorithm>

#include "protocol/frame.h"
#include "protocol/scan.h"

// The device answers through the unit's C library (device/), as a firmware
// would: the configuration is its radio, and its key rule is the library's
// key_ok callback.

namespace melvorin::devsim {

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

const DeviceConfig& ConfigOf(void* user) { return *static_cast<const DeviceConfig*>(user); }

int SeenNetwork(void* user, unsigned index, mlvd_network* out) {
    const DeviceConfig& config = ConfigOf(user);
    if (index >= config.networks.size()) return 0;
    const Network& net = config.networks[index];
    out->ssid = net.ssid.data();
    // An SSID too long for a record is handed on empty: the library leaves
    // it out (ConfigProblem refuses such a configuration).
    out->ssid_len = static_cast<std::uint8_t>(net.ssid.size() <= kMaxSsidLength ? net.ssid.size() : 0);
    out->signal = net.strength;
    out->open = 0;
    return 1;
}

int TakesKey(void* user, const std::uint8_t*, std::size_t, const std::uint8_t* key, std::size_t keyLength) {
    return KeyAccepted(ConfigOf(user), TIdBytes(key, key + keyLength)) ? 1 : 0;
}

// No join callback: the simulated device connects to nothing.
constexpr mlvd_callbacks kCallbacks{SeenNetwork, nullptr, TakesKey};

// Bytes of one record in a list reply: SSID, flag, strength, 0D 0A.
std::size_t RecordSize(const Network& net) { return net.ssid.size() + MLVD_RECORD_OVERHEAD; }

std::size_t ListReplySize(const DeviceConfig& config) {
    std::size_t n = MLVD_LIST_OVERHEAD;  // FF 00 len 81 count ... checksum
    for (const Network& net : config.networks) n += RecordSize(net);
    return n;
}

}  // namespace

std::string ConfigProblem(const DeviceConfig& config) {
    if (config.networks.size() > kMaxNetworks) {
        return "too many networks (" + std::to_string(config.networks.size()) + "); at most " +
               std::to_string(kMaxNetworks) + " fit in one list reply";
    }
    for (std::size_t i = 0; i < config.networks.size(); ++i) {
        const TIdBytes& ssid = config.networks[i].ssid;
        const std::string which = "network " + std::to_string(i + 1) + " (SSID " + Hex(ssid, ' ') + ")";
        if (ssid.empty()) return "network " + std::to_string(i + 1) + " has an empty SSID";
        if (ssid.size() > kMaxSsidLength) {
            return "network " + std::to_string(i + 1) + " has an SSID " + std::to_string(ssid.size()) +
                   " bytes long; at most " + std::to_string(kMaxSsidLength) + " fit in a record";
        }
        // The tool finds records only by their 0D 0A ending and shows a caption
        // only up to its first zero byte. A lone 0D or 0A could still pair with
        // a neighbouring byte (the count byte is 0x0D for 13 networks), so no
        // line-break byte at all is let into an SSID.
        if (std::find(ssid.begin(), ssid.end(), std::uint8_t{0}) != ssid.end()) {
            return which + " holds a zero byte, which the tool's list cannot show";
        }
        if (std::find_if(ssid.begin(), ssid.end(), [](std::uint8_t b) { return b == kCr || b == kLf; }) !=
            ssid.end()) {
            return which + " holds a line break (0x0D or 0x0A), which would split its record";
        }
    }
    if (ListReplySize(config) > kMaxReplySize) {
        return "the list reply would be " + std::to_string(ListReplySize(config)) + " bytes; at most " +
               std::to_string(kMaxReplySize) + " are received by the tool";
    }
    return {};
}

TIdBytes BuildListReply(const DeviceConfig& config) {
    // A scan request always gets a reply: an empty list takes 6 bytes.
    return HandleRequest(BuildScanRequest(), config).value_or(TIdBytes{});
}

TIdBytes BuildJoinResult(bool ssidAccepted, bool keyAccepted) {
    TIdBytes out(MLVD_JOIN_RESULT_SIZE);
    const unsigned verdict = (ssidAccepted ? MLVD_SSID_OK : 0u) | (keyAccepted ? MLVD_KEY_OK : 0u);
    out.resize(mlvd_join_result(verdict, out.data(), out.size()));
    return out;
}

std::optional<Request> ParseRequest(const TIdBytes& datagram) {
    const std::size_t n = datagram.size();
    if (mlvd_frame_ok(datagram.data(), n) == 0) return std::nullopt;
    switch (datagram[3]) {
    case ScanRequest:
        return Request{RequestKind::Scan, {}, {}};
    case JoinRequest: {
        // 00 <SSID> 0D 0A <key> between offset 4 and the checksum.
        if (n < 8 || datagram[4] != 0x00) return std::nullopt;
        const std::size_t end = n - 1;  // the checksum's offset
        for (std::size_t i = 5; i + 1 < end; ++i) {
            if (datagram[i] == kCr && datagram[i + 1] == kLf) {
                Request req{RequestKind::Join, {}, {}};
                req.ssid.assign(datagram.begin() + 5, datagram.begin() + static_cast<std::ptrdiff_t>(i));
                req.key.assign(datagram.begin() + static_cast<std::ptrdiff_t>(i + 2),
                               datagram.begin() + static_cast<std::ptrdiff_t>(end));
                return req;
            }
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool SsidAccepted(const DeviceConfig& config, const TIdBytes& ssid) {
    return std::any_of(config.networks.begin(), config.networks.end(),
                       [&](const Network& net) { return net.ssid == ssid; });
}

bool KeyAccepted(const DeviceConfig& config, const TIdBytes& key) {
    if (config.key) return key == *config.key;
    return key.size() >= kMinKeyLength && key.size() <= kMaxKeyLength;
}

std::optional<TIdBytes> HandleRequest(const TIdBytes& datagram, const DeviceConfig& config) {
    mlvd_device device;
    mlvd_init(&device, &kCallbacks, const_cast<DeviceConfig*>(&config));  // read only, by ConfigOf
    TIdBytes reply(kMaxReplySize);
    // Broadcast or not, requests are answered alike.
    const std::size_t n = mlvd_handle(&device, datagram.data(), datagram.size(), 0, reply.data(), reply.size());
    if (n == 0) return std::nullopt;
    reply.resize(n);
    return reply;
}

}  // namespace melvorin::devsim
