#pragma once

// The join's key: read from a file, standard input or the terminal, never
// from the command line.

#include <optional>
#include <string>

#include "cli/key_owner.h"

namespace melvorin::cli {

// Reads the key text (UTF-8) into `key` and encodes it: the first line of
// `keyFile` ("-" for standard input) with its line end removed, or, without
// a file, typed at the terminal without echo. Nothing is read ahead and kept
// in a buffer. Raises UsageError when there is no key, or one that code page
// 936 cannot hold.
void ReadKey(const std::optional<std::string>& keyFile, KeyOwner& key);

}  // namespace melvorin::cli
