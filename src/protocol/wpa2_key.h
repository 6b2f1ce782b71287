#pragma once

// What a WPA2 network takes as its key: a passphrase of 8 to 63 characters,
// or the pre-shared key itself as 64 hexadecimal digits. Devices may take
// other keys (an open or WEP network), so this only warns, never refuses.

#include <cstddef>
#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// The characters of `text` (UTF-8; a byte that starts no valid sequence
// counts as one).
std::size_t CharacterCount(const std::string& text);

// Whether a WPA2 network takes `text` (UTF-8) as its key.
bool IsWpa2Key(const std::string& text);

// Whether a WPA2 network takes `key`, the bytes a device receives: 8 to 63
// of them, or 64 hexadecimal digits.
bool IsWpa2KeyBytes(const TIdBytes& key);

}  // namespace melvorin
