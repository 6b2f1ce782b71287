#include "seal/label_code.h"

#include <gcrypt.h>

#include "seal/library.h"

namespace melvorin::seal {

std::string LabelCode(View public_key) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  StartLibrary();
  unsigned char digest[32];
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest, public_key.data(), public_key.size());
  std::string code;
  unsigned buffer = 0;
  int bits = 0;
  int written = 0;
  auto put = [&](unsigned value) {
    if (written > 0 && written % 4 == 0) code += '-';
    code += kAlphabet[value & 31u];
    ++written;
  };
  for (int i = 0; i < 16; ++i) {
    buffer = (buffer << 8) | digest[i];
    for (bits += 8; bits >= 5; bits -= 5) put(buffer >> (bits - 5));
  }
  if (bits > 0) put(buffer << (5 - bits));
  return code;
}

}  // namespace melvorin::seal
