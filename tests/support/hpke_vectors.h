// RFC 9180's test vectors for the sealed join's suite, read from the RFC's
// own text (tests/seal/rfc9180_p256_base.txt): "name: hex" fields, a long
// value wrapped onto the lines below, one group per blank-line block.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace melvorin::test {

using HpkeGroup = std::map<std::string, std::vector<std::uint8_t>>;

struct HpkeVectors {
  HpkeGroup setup;                      // ikmE, pkRm, skRm, enc, key, ... exporter_secret
  std::vector<HpkeGroup> encryptions;   // sequence number, pt, aad, nonce, ct
  std::vector<HpkeGroup> exports;       // exporter_context, L, exported_value
};

inline std::vector<std::uint8_t> hpke_hex(const std::string& text) {
  if (text.size() % 2 != 0) throw std::runtime_error("odd hex: " + text);
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline HpkeVectors read_hpke_vectors(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  HpkeVectors v;
  std::vector<HpkeGroup>* list = nullptr;
  HpkeGroup* group = nullptr;
  std::string line, name, value;
  auto flush = [&] {
    if (group != nullptr && !name.empty()) {
      // Decimal numbers stay text; the rest is hex.
      const bool number = name == "mode" || name.ends_with("_id") || name == "sequence number" || name == "L";
      (*group)[name] = number ? std::vector<std::uint8_t>(value.begin(), value.end()) : hpke_hex(value);
    }
    name.clear();
    value.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("### Base Setup", 0) == 0) group = &v.setup;
    if (line.rfind("#### ", 0) == 0) {
      flush();
      group = nullptr;
      list = line.rfind("#### Encryptions", 0) == 0 ? &v.encryptions : &v.exports;
    }
    if (line.empty() || line.rfind("~~~", 0) == 0 || line[0] == '#') {
      flush();
      if (list != nullptr && line.empty()) group = nullptr;
      continue;
    }
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      flush();
      if (group == nullptr && list != nullptr) group = &list->emplace_back();
      name = line.substr(0, colon);
      value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
    } else {
      value += line;
    }
  }
  flush();
  return v;
}

}  // namespace melvorin::test
