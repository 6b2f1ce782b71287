#pragma once

// Bytes written and read as hexadecimal digits.

#include <optional>
#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// Two lower-case digits a byte, `separator` between bytes ('\0': none):
// "ff00010102" or "ff 00 01 01 02".
std::string Hex(const TIdBytes& bytes, char separator = '\0');

// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

// An even, non-zero number of hexadecimal digits as bytes; nothing otherwise.
std::optional<TIdBytes> ParseHex(const std::string& text);

}  // namespace melvorin
