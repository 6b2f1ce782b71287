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

// `caption` (UTF-8) with each of these characters written as "[U+XXXX]":
// C0 and C1 controls (TAB and DEL among them), bidirectional controls
// (U+061C, U+200E, U+200F, U+202A-202E, U+2066-2069), zero-width spaces and
// invisible operators (U+180E, U+200B, U+2060-2064), the byte-order mark
// U+FEFF, the soft hyphen U+00AD and the line and paragraph separators
// U+2028, U+2029. Every other character is kept as itself (U+3000, the
// joiners U+200C and U+200D, the Hangul fillers). Bytes that are not UTF-8
// become U+FFFD, so the text never carries a raw byte of a bad sequence.
ShownName ShowName(const std::string& caption);

// Whether the shown name needs the bytes beside it to be told apart: it has
// markers, bytes that did not decode (U+FFFD), or `raw` holds a zero byte,
// where the caption ends.
bool NeedsBytes(const ShownName& name, const TIdBytes& raw);

}  // namespace melvorin
