// The label code that names a unit's key on its label: the first 128 bits
// of SHA-256 over the unit's public key (uncompressed, 65 bytes), in base32
// (RFC 4648's alphabet, no padding: 26 characters), in groups of four
// joined by "-".
#pragma once

#include <string>

#include "seal/hpke.h"

namespace melvorin::seal {

std::string LabelCode(View public_key);

}  // namespace melvorin::seal
