#pragma once

// Conversion between UTF-8 text and code page 936 (GBK) bytes.

#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// The code-page-936 bytes of a UTF-8 text. Raises EEncodingError for a
// character that code page 936 cannot encode.
TIdBytes TextToCp936(const std::string& text);

// Decodes code-page-936 bytes into UTF-8. Never fails: a byte or pair that
// does not decode becomes U+FFFD and decoding goes on after it.
std::string Cp936ToText(const TIdBytes& bytes);

// Display text of an SSID: its bytes up to the first zero byte, read as UTF-8
// when they are valid UTF-8 and hold a byte above 0x7F, else as code page 936.
std::string BytesToText(const TIdBytes& bytes);

}  // namespace melvorin
