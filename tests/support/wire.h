#pragma once

// Datagrams of the provisioning protocol written out by hand, apart from the
// protocol code, so that a fault shared with BuildFrame cannot hide; and a
// small random generator that gives the same sequence on every build.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace melvorin::testing {

// The same type as TIdBytes, without depending on the protocol library.
using Octets = std::vector<std::uint8_t>;

inline Octets BytesOf(std::string_view text) { return Octets(text.begin(), text.end()); }

// "ff00 01" style hexadecimal, blanks allowed between the digit pairs.
inline Octets FromHex(std::string_view hex) {
    const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    Octets out;
    for (std::size_t i = 0; i + 1 < hex.size(); ++i) {
        if (hex[i] == ' ') continue;
        out.push_back(static_cast<std::uint8_t>(digit(hex[i]) * 16 + digit(hex[i + 1])));
        ++i;
    }
    return out;
}

// The frame with its last byte replaced by the sum of offsets 1 .. n-2.
inline Octets Sealed(Octets frame) {
    unsigned sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) sum += frame[i];
    if (!frame.empty()) frame.back() = static_cast<std::uint8_t>(sum % 256);
    return frame;
}

// FF 00 <payload length + 1, cut to a byte> <command> <payload> <checksum>.
inline Octets Frame(std::uint8_t command, const Octets& payload) {
    Octets frame = {0xFF, 0x00, static_cast<std::uint8_t>((payload.size() + 1) & 0xFF), command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0x00);
    return Sealed(std::move(frame));
}

using Records = std::vector<std::pair<Octets, std::uint8_t>>;

// A list reply: the count byte, then <SSID> 00 <strength> 0D 0A per record.
inline Octets ListReply(std::uint8_t count, const Records& records) {
    Octets payload = {count};
    for (const auto& [ssid, strength] : records) {
        payload.insert(payload.end(), ssid.begin(), ssid.end());
        payload.insert(payload.end(), {0x00, strength, 0x0D, 0x0A});
    }
    return Frame(0x81, payload);
}
// A list reply that counts its own records.
inline Octets ListReply(const Records& records) {
    return ListReply(static_cast<std::uint8_t>(records.size()), records);
}

inline Octets JoinResult(std::uint8_t ssidVerdict, std::uint8_t keyVerdict) {
    return Frame(0x82, {ssidVerdict, keyVerdict});
}

// 00 <SSID> 0D 0A <key>, framed with command 0x02.
inline Octets JoinRequest(const Octets& ssid, const Octets& key) {
    Octets payload = {0x00};
    payload.insert(payload.end(), ssid.begin(), ssid.end());
    payload.insert(payload.end(), {0x0D, 0x0A});
    payload.insert(payload.end(), key.begin(), key.end());
    return Frame(0x02, payload);
}

inline const Octets kScanRequestBytes = {0xFF, 0x00, 0x01, 0x01, 0x02};

// xorshift64*: small, and the same sequence everywhere.
struct Xorshift {
    std::uint64_t state;
    std::uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1DULL;
    }
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }
    std::size_t Between(std::size_t lo, std::size_t hi) { return lo + Below(hi - lo + 1); }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<std::uint8_t>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07u;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<std::uint8_t>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

}  // namespace melvorin::testing
