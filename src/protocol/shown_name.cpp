#include "protocol/shown_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "protocol/utf8.h"

namespace melvorin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kReplacementText = "\xEF\xBF\xBD";

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
        const char32_t c = DecodeUtf8(caption, i, length);
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

bool NeedsBytes(const ShownName& name, const TIdBytes& raw) {
    return name.marked || name.text.find(kReplacementText) != std::string::npos ||
           std::find(raw.begin(), raw.end(), 0) != raw.end();
}

}  // namespace melvorin
