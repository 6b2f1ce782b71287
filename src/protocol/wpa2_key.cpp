#include "protocol/wpa2_key.h"

#include <algorithm>
#include <cctype>

#include "protocol/utf8.h"

namespace melvorin {

std::size_t CharacterCount(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        DecodeUtf8(text, at, length);
        ++count;
    }
    return count;
}

bool IsWpa2Key(const std::string& text) {
    const std::size_t characters = CharacterCount(text);
    if (characters >= 8 && characters <= 63) return true;
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

}  // namespace melvorin

namespace melvorin {

bool IsWpa2KeyBytes(const TIdBytes& key) {
    if (key.size() >= 8 && key.size() <= 63) return true;
    return key.size() == 64 &&
           std::all_of(key.begin(), key.end(), [](std::uint8_t c) { return std::isxdigit(c) != 0; });
}

}  // namespace melvorin
