#pragma once

// The join's key: read from a file, standard input or the terminal, never
// from the command line.

#include <optional>
#include <string>

#include "protocol/bytes.h"

namespace melvorin::cli {

// The key text (UTF-8): the first line of `keyFile` ("-" for standard
// input) with its line end removed, or, without a file, typed at the
// terminal without echo. Raises UsageError when there is no key.
std::string ReadKeyText(const std::optional<std::string>& keyFile);

// The key's code page 936 bytes, as the window sends them. Raises
// UsageError for an empty key or one that code page 936 cannot hold.
TIdBytes EncodeKey(const std::string& text);

}  // namespace melvorin::cli
