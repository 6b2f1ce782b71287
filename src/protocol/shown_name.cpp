#include "protocol/shown_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace melvorin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kReplacementText = "\xEF\xBF\xBD";

// The character of the strict UTF-8 sequence at s[i] and the sequence's
// length; U+FFFD and 1 when no valid sequence starts there (overlong forms,
// surrogates and values above U+10FFFF included).
char32_t Decode(const std::string& s, std::size_t i, std::size_t& length) {
    const auto b = static_cast<std::uint8_t>(s[i]);
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
    if (s.size() - i <= extra) return kReplacement;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto t = static_cast<std::uint8_t>(s[i + k]);
        if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) return kReplacement;
        c = (c << 6) | (t & 0x3Fu);
    }
    length = extra + 1;
    return c;
}

bool Hides(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;  // C0, DEL, C1
    switch (c) {
    case 0x00AD:  // soft hyphen
    case 0x061C:  // Arabic letter mark
    case 0x180E:  // Mongolian vowel separator: no width
    case 0x200B:  // zero-width space
    case 0x200E:  // left-to-right and right-to-left marks
    case 0x200F:
    case 0xFEFF:  // byte-order mark, zero-width no-break space
        return true;
    default:
        break;
    }
    return (c >= 0x2028 && c <= 0x202E)     // line and paragraph separators, embeddings and overrides
           || (c >= 0x2060 && c <= 0x2064)  // word joiner, invisible operators
           || (c >= 0x2066 && c <= 0x2069);  // isolates
}

}  // namespace

ShownName ShowName(const std::string& caption) {
    ShownName out;
    for (std::size_t i = 0, length = 0; i < caption.size(); i += length) {
        const char32_t c = Decode(caption, i, length);
        if (Hides(c)) {
            char marker[16];
            std::snprintf(marker, sizeof marker, "[U+%04X]", static_cast<unsigned>(c));
            out.text += marker;
            out.marked = true;
        } else if (c == kReplacement) {
            out.text += kReplacementText;  // also for bytes that did not decode
        } else {
            out.text.append(caption, i, length);
        }
    }
    return out;
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        if (Decode(text, i, length) == kReplacement && length == 1) {
            out += kReplacementText;
        } else {
            out.append(text, i, length);
        }
    }
    return out;
}

bool NeedsBytes(const ShownName& name, const TIdBytes& raw) {
    return name.marked || name.text.find(kReplacementText) != std::string::npos ||
           std::find(raw.begin(), raw.end(), 0) != raw.end();
}

}  // namespace melvorin
