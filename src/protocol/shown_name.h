#pragma once

// Network names as people are shown them, in the window and on a terminal:
// characters that hide or reorder text are replaced by visible markers, so
// that no name can pass for another and none can move or rewrite the text
// around it.

#include <string>

#include "protocol/bytes.h"

namespace melvorin {

struct ShownName {
    std::string text;     // UTF-8, free of the hiding characters
    bool marked = false;  // some character is shown as a marker
};

// `caption` (UTF-8) with each character that shows as nothing, as a blank
// other than U+0020 and U+3000, or as a line break written as "[U+XXXX]":
// - C0 and C1 controls (TAB and DEL among them);
// - format characters (bidirectional controls, zero-width space, word
//   joiner and invisible operators, the soft hyphen, the byte-order mark,
//   U+206A-206F, the interlinear annotation characters U+FFF9-FFFB, the tag
//   characters U+E0001 and U+E0020-E007F, and the rest of Unicode's Cf);
// - the other default-ignorable characters (U+034F, the Hangul fillers
//   U+115F, U+1160, U+3164, U+FFA0, U+17B4, U+17B5, U+E0000-E0FFF beyond
//   the variation selectors);
// - the blanks U+00A0, U+1680, U+2000-200A, U+202F, U+205F, the line and
//   paragraph separators U+2028 and U+2029, and the Braille blank U+2800.
// The joiners ZWNJ (U+200C) and ZWJ (U+200D) and the variation selectors
// (U+FE00-FE0F, U+E0100-E01EF, Mongolian U+180B-180D, U+180F) change how the
// characters around them are drawn only in some places, and are shown as
// themselves there and marked elsewhere:
// - a joiner between two characters shown as themselves of one family that
//   joins (Arabic and Syriac letters; Brahmic scripts, Devanagari to
//   Sinhala, Myanmar, Khmer; emoji, U+2190-2BFF and U+1F000-1FAFF, an
//   emoji's U+FE0F counting as the emoji), or a ZWJ after a virama;
// - a variation selector right after a character outside ASCII shown as
//   itself (not U+3000, U+FFFD, a joiner or another selector), or U+FE0F in
//   a keycap (0-9, # or * before U+20E3).
// So a leading, trailing or doubled one is marked, and so is one in Latin
// text ("Home\u200CNet" is not "HomeNet"). Bytes that are not UTF-8 become
// U+FFFD, so the text never carries a raw byte of a bad sequence.
ShownName ShowName(const std::string& caption);

// Whether the shown name needs the bytes beside it to be told apart: it has
// markers, bytes that did not decode (U+FFFD), or `raw` holds a zero byte,
// where the caption ends.
bool NeedsBytes(const ShownName& name, const TIdBytes& raw);

}  // namespace melvorin
