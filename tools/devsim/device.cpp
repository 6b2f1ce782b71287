#include "devsim/device.h"

#include <algorithm>

#include "protocol/frame.h"

namespace melvorin::devsim {

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// Bytes of one record in a list reply: SSID, flag, strength, 0D 0A.
std::size_t RecordSize(const Network& net) { return net.ssid.size() + 4; }

std::size_t ListReplySize(const DeviceConfig& config) {
    std::size_t n = 6;  // FF 00 len 81 count ... checksum
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
    TIdBytes out;
    out.reserve(ListReplySize(config));
    out.push_back(kLeadByte);
    out.push_back(0x00);
    out.push_back(0x00);  // length, below
    out.push_back(SsidListReply);
    out.push_back(static_cast<std::uint8_t>(config.networks.size()));
    for (const Network& net : config.networks) {
        out.insert(out.end(), net.ssid.begin(), net.ssid.end());
        out.push_back(kRecordFlag);
        out.push_back(net.strength);
        out.push_back(kCr);
        out.push_back(kLf);
    }
    out.push_back(0x00);
    const std::size_t n = out.size();
    // The length byte is one byte wide; a longer reply says 255 (the tool
    // never reads it).
    out[2] = static_cast<std::uint8_t>(std::min<std::size_t>(n - 4, 255));
    out[n - 1] = CalcChecksum(out.data() + 1, static_cast<int>(n - 2));
    return out;
}

TIdBytes BuildJoinResult(bool ssidAccepted, bool keyAccepted) {
    return BuildFrame(JoinResult, TIdBytes{static_cast<std::uint8_t>(ssidAccepted ? 0x01 : 0x00),
                                           static_cast<std::uint8_t>(keyAccepted ? 0x01 : 0x00)});
}

std::optional<Request> ParseRequest(const TIdBytes& datagram) {
    const std::size_t n = datagram.size();
    if (n < 5 || n > 65535) return std::nullopt;
    if (datagram[0] != kLeadByte) return std::nullopt;
    if (CalcChecksum(datagram.data() + 1, static_cast<int>(n - 2)) != datagram[n - 1]) return std::nullopt;
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
    const std::optional<Request> req = ParseRequest(datagram);
    if (!req) return std::nullopt;
    if (req->kind == RequestKind::Scan) return BuildListReply(config);
    return BuildJoinResult(SsidAccepted(config, req->ssid), KeyAccepted(config, req->key));
}

}  // namespace melvorin::devsim
