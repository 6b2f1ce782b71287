// Seals one message with the station's code, for the cross-check in Python:
//   seal_once PKR INFO AAD PT      (hex each; an empty one as "")
// prints enc, the ciphertext and a 32-byte export under "cross-check", one
// hex line each, then the recipient's label code.
#include <cstdio>
#include <string>

#include "hpke_vectors.h"
#include "seal/hpke.h"
#include "seal/label_code.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: seal_once PKR INFO AAD PT (hex)\n");
    return 2;
  }
  using melvorin::test::hpke_hex;
  auto sender = melvorin::seal::Sender::setup(hpke_hex(argv[1]), hpke_hex(argv[2]));
  if (!sender) {
    std::fprintf(stderr, "seal_once: not a P-256 public key\n");
    return 1;
  }
  const std::string context = "cross-check";
  const auto ct = sender->seal(hpke_hex(argv[3]), hpke_hex(argv[4]));
  const auto exported = sender->export_secret(melvorin::seal::View(reinterpret_cast<const std::uint8_t*>(context.data()), context.size()), 32);
  for (const auto* line : {&sender->enc(), &ct, &exported}) {
    for (auto b : *line) std::printf("%02x", b);
    std::printf("\n");
  }
  std::printf("%s\n", melvorin::seal::LabelCode(hpke_hex(argv[1])).c_str());
  return 0;
}
