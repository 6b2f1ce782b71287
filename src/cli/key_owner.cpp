#include "cli/key_owner.h"

#include <string>

#include "cli/options.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/secret_bytes.h"
#include "protocol/wpa2_key.h"

namespace melvorin::cli {

// The library calls below take working copies (Scratch): wiped when they
// go, thrown past or not.

KeyOwner::KeyOwner() { bytes_.reserve(kCapacity); }

KeyOwner::~KeyOwner() { Wipe(); }

bool KeyOwner::Append(char c) {
    if (length_ == text_.size()) return false;
    text_[length_++] = c;
    return true;
}

bool KeyOwner::ReadLine(std::istream& in) {
    bool got = false;
    for (char c = 0; in.get(c);) {
        got = true;
        if (c == '\n') break;
        if (!Append(c)) {
            throw UsageError("the key is longer than " + std::to_string(kCapacity) +
                             " bytes: too long for a join request");
        }
    }
    if (length_ > 0 && text_[length_ - 1] == '\r') text_[--length_] = '\0';
    return got;
}

void KeyOwner::Encode() {
    if (length_ == 0) throw UsageError("the key is empty");
    const Scratch<std::string> text{std::string(Text())};
    Scratch<TIdBytes> encoded;
    try {
        encoded.data = TextToCp936(text.data);
    } catch (const Exception& e) {
        throw UsageError("the key cannot be written in code page 936, as devices receive it: " + e.Message());
    }
    // No more bytes than the text had: they fit the storage taken at the start.
    bytes_.assign(encoded.data.begin(), encoded.data.end());
}

std::size_t KeyOwner::Characters() const {
    const Scratch<std::string> text{std::string(Text())};
    return CharacterCount(text.data);
}

bool KeyOwner::IsWpa2() const {
    const Scratch<std::string> text{std::string(Text())};
    return IsWpa2Key(text.data);
}

void KeyOwner::Wipe() {
    WipeBytes(text_.data(), text_.size());
    length_ = 0;
    bytes_.resize(bytes_.capacity());
    WipeBytes(bytes_.data(), bytes_.size());
    bytes_.clear();
}

}  // namespace melvorin::cli
