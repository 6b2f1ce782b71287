#pragma once

// Conversion between UTF-8 text and code page 936 (GBK) bytes.

#include <optional>
#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// The code-page-936 bytes of a UTF-8 text. Raises EEncodingError for a
// character that code page 936 cannot encode.
TIdBytes TextToCp936(const std::string& text);

// Decodes code-page-936 bytes into UTF-8. Never fails: a byte or pair that
// does not decode becomes U+FFFD and decoding goes on after it.
std::string Cp936ToText(const TIdBytes& bytes);

// Which reading of an SSID wins where its bytes are valid both as UTF-8 (of
// two-byte sequences only) and as code page 936: the user's language decides,
// code page 936 for Chinese, UTF-8 otherwise. This layer has no locale of its
// own: the program sets the preference once at start (UTF-8 until then).
enum class NameReading { Utf8, Cp936 };
void SetPreferredReading(NameReading reading);
NameReading PreferredReading();
// The preference for a locale name such as "zh_CN.UTF-8" (Chinese: "zh...").
NameReading ReadingForLocale(const std::string& localeName);

// Display text of an SSID: its bytes up to the first zero byte. Valid UTF-8
// holding a three- or four-byte sequence is UTF-8; bytes valid in only one
// of UTF-8 and code page 936 are read in that one; where both are valid,
// `preferred` decides; where neither is, code page 936 with U+FFFD for what
// does not decode.
std::string BytesToText(const TIdBytes& bytes, NameReading preferred);
// The same with the preferred reading.
std::string BytesToText(const TIdBytes& bytes);
// Where the shown bytes are valid both as UTF-8 and as code page 936 and the
// two readings differ: the reading BytesToText did not choose.
std::optional<std::string> OtherReading(const TIdBytes& bytes, NameReading preferred);
std::optional<std::string> OtherReading(const TIdBytes& bytes);

}  // namespace melvorin
