#pragma once

// Strict UTF-8, as names and keys are checked and shown: no overlong forms,
// no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace melvorin {

// The character of the sequence at text[at] and the sequence's length;
// U+FFFD and 1 where no valid sequence starts there.
char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length);

// Whether all of `text` is valid; `longSequence`, when given, tells whether
// a three- or four-byte sequence occurs.
bool IsValidUtf8(std::string_view text, bool* longSequence = nullptr);

// `text` with every byte that starts no valid sequence replaced by U+FFFD,
// for output that must be UTF-8 (JSON) whatever it was given.
std::string ValidUtf8(std::string_view text);

}  // namespace melvorin
