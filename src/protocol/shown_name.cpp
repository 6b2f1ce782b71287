#include "protocol/shown_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "protocol/utf8.h"

namespace melvorin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kReplacementText = "\xEF\xBF\xBD";
constexpr char32_t kZwnj = 0x200C;
constexpr char32_t kZwj = 0x200D;

struct Range {
    char32_t first, last;
};

// Characters that show as nothing, as a blank or as a line break: controls,
// format characters (Unicode's Cf), the other default-ignorable characters,
// the blanks other than U+0020 and U+3000, and the Braille blank.
constexpr Range kHidden[] = {
    {0x0000, 0x001F}, {0x007F, 0x00A0}, {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x0600, 0x0605},
    {0x061C, 0x061C}, {0x06DD, 0x06DD}, {0x070F, 0x070F}, {0x0890, 0x0891}, {0x08E2, 0x08E2},
    {0x115F, 0x1160}, {0x1680, 0x1680}, {0x17B4, 0x17B5}, {0x180E, 0x180E}, {0x2000, 0x200B},
    {0x200E, 0x200F}, {0x2028, 0x202F}, {0x205F, 0x206F}, {0x2800, 0x2800}, {0x3164, 0x3164},
    {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB}, {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE00FF}, {0xE01F0, 0xE0FFF},
};

// Variation selectors: the standard ones, the supplement's, Mongolian's.
constexpr Range kSelectors[] = {{0xFE00, 0xFE0F}, {0xE0100, 0xE01EF}, {0x180B, 0x180D}, {0x180F, 0x180F}};

// Scripts whose joiners change what is drawn: the Arabic and Syriac
// scripts, the Brahmic ones (Devanagari to Sinhala, Myanmar, Khmer), and
// emoji.
constexpr Range kArabic[] = {{0x0600, 0x08FF}, {0xFB50, 0xFDFF}, {0xFE70, 0xFEFE}};
constexpr Range kBrahmic[] = {{0x0900, 0x0DFF}, {0x1000, 0x109F}, {0x1780, 0x17FF}};
constexpr Range kEmoji[] = {{0x2190, 0x2BFF}, {0x1F000, 0x1FAFF}};

template <std::size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
}

bool IsSelector(char32_t c) { return In(kSelectors, c); }
bool IsJoiner(char32_t c) { return c == kZwnj || c == kZwj; }

// The family a joiner joins within; 0 for none.
int JoiningFamily(char32_t c) {
    if (In(kArabic, c)) return 1;
    if (In(kBrahmic, c)) return 2;
    if (In(kEmoji, c) || c == 0xFE0F) return 3;  // an emoji's presentation selector counts as the emoji
    return 0;
}

// The viramas of Devanagari to Malayalam (each at 0x4D in its block),
// Sinhala, Myanmar and Khmer.
bool IsVirama(char32_t c) {
    return (c >= 0x0900 && c <= 0x0D7F && (c & 0x7F) == 0x4D) || c == 0x0DCA || c == 0x1039 || c == 0x103A ||
           c == 0x17D2;
}

struct Char {
    char32_t code;
    std::size_t at, length;
    bool hidden;
};

// Whether a joiner or selector at `i` shows as itself: see ShowName.
bool Takes(const std::vector<Char>& chars, std::size_t i) {
    const char32_t c = chars[i].code;
    const Char* before = i > 0 && !chars[i - 1].hidden ? &chars[i - 1] : nullptr;
    const Char* after = i + 1 < chars.size() && !chars[i + 1].hidden ? &chars[i + 1] : nullptr;
    if (IsSelector(c)) {
        // A keycap: 0-9, # or * and U+FE0F before U+20E3.
        if (before != nullptr && c == 0xFE0F && after != nullptr && after->code == 0x20E3 &&
            ((before->code >= '0' && before->code <= '9') || before->code == '#' || before->code == '*')) {
            return true;
        }
        return before != nullptr && before->code > 0x7F && before->code != 0x3000 && before->code != kReplacement &&
               !IsSelector(before->code) && !IsJoiner(before->code);
    }
    if (before == nullptr) return false;
    // After a virama a joiner picks the consonant's half form (or a chillu):
    // it shows also at the end of a word.
    if (c == kZwj && IsVirama(before->code)) return true;
    return after != nullptr && JoiningFamily(before->code) != 0 &&
           JoiningFamily(before->code) == JoiningFamily(after->code);
}

}  // namespace

ShownName ShowName(const std::string& caption) {
    std::vector<Char> chars;
    for (std::size_t i = 0, length = 0; i < caption.size(); i += length) {
        const char32_t c = DecodeUtf8(caption, i, length);
        chars.push_back({c, i, length, In(kHidden, c)});
    }
    // Left to right: a selector or joiner shows as itself only where what
    // comes before it does.
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (IsSelector(chars[i].code) || IsJoiner(chars[i].code)) chars[i].hidden = !Takes(chars, i);
    }
    ShownName out;
    for (const Char& c : chars) {
        if (c.hidden) {
            char marker[16];
            std::snprintf(marker, sizeof marker, "[U+%04X]", static_cast<unsigned>(c.code));
            out.text += marker;
            out.marked = true;
        } else if (c.code == kReplacement) {
            out.text += kReplacementText;  // also for bytes that did not decode
        } else {
            out.text.append(caption, c.at, c.length);
        }
    }
    return out;
}

bool NeedsBytes(const ShownName& name, const TIdBytes& raw) {
    return name.marked || name.text.find(kReplacementText) != std::string::npos ||
           std::find(raw.begin(), raw.end(), 0) != raw.end();
}

}  // namespace melvorin
