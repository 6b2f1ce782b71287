#pragma once

// Code page 936 by the system's own conversion: cp936_posix.cpp (iconv) or
// cp936_windows.cpp (MultiByteToWideChar / WideCharToMultiByte).

#include <string>

#include "protocol/bytes.h"

namespace melvorin::sys {

enum class TEncoded { Ok, Unencodable, NoConversion };

// The code page 936 bytes of valid UTF-8 text in `out`; a character the code
// page cannot hold is refused, never replaced by a look-alike.
TEncoded EncodeCp936(const std::string& utf8, std::string& out);

// Code page 936 bytes as UTF-8 in `out`; each byte that starts no valid
// character (or a lead byte cut off at the end) becomes `replacement` and
// decoding goes on with the next byte. Returns how many replacements were
// made, -1 when the system has no such conversion.
int DecodeCp936(const TIdBytes& bytes, std::string& out, const char* replacement);

}  // namespace melvorin::sys
