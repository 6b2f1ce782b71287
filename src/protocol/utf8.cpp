#include "protocol/utf8.h"

#include <cstdint>

namespace melvorin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// No valid sequence starts at a byte whose decoding is U+FFFD of length 1
// (a real U+FFFD is three bytes long).
bool Bad(char32_t c, std::size_t length) { return c == kReplacement && length == 1; }

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
    const auto b = static_cast<std::uint8_t>(text[at]);
    length = 1;
    if (b <= 0x7F) return b;
    std::size_t extra = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        c = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        c = b & 0x0Fu;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        c = b & 0x07u;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return kReplacement;
    }
    if (text.size() - at <= extra) return kReplacement;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<std::uint8_t>(text[at + k]);
        if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return kReplacement;
        c = (c << 6) | (t & 0x3Fu);
    }
    length = extra + 1;
    return c;
}

bool IsValidUtf8(std::string_view text, bool* longSequence) {
    if (longSequence != nullptr) *longSequence = false;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        const char32_t c = DecodeUtf8(text, i, length);
        if (Bad(c, length)) return false;
        if (length >= 3 && longSequence != nullptr) *longSequence = true;
    }
    return true;
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        const char32_t c = DecodeUtf8(text, i, length);
        if (Bad(c, length)) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text.substr(i, length));
        }
    }
    return out;
}

}  // namespace melvorin
