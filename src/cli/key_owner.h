#pragma once

// The join's key in one place: its text as read (UTF-8) and its code page
// 936 bytes, as the join requests carry them. The text lives in storage
// inside the object, the bytes in storage taken once at its start; both are
// wiped when it ends (and by Wipe()), so that a long run (join --watch)
// keeps the key no longer than it needs it, and a copy left behind in
// memory given back does not hold it.

#include <array>
#include <cstddef>
#include <istream>
#include <string_view>

#include "protocol/bytes.h"

namespace melvorin::cli {

class KeyOwner {
public:
    // The longest key text taken, in bytes. A join request holds at most
    // 250 key bytes, and no character of code page 936 takes more than 3
    // bytes of UTF-8.
    static constexpr std::size_t kCapacity = 1024;

    KeyOwner();
    ~KeyOwner();
    KeyOwner(const KeyOwner&) = delete;
    KeyOwner& operator=(const KeyOwner&) = delete;

    // Adds a byte to the text; false when the text is full.
    bool Append(char c);
    // Reads one line of `in` into the text, its line end (and a CR before
    // it) left out: false when `in` had nothing. Raises UsageError for a
    // line longer than kCapacity.
    bool ReadLine(std::istream& in);
    std::string_view Text() const { return {text_.data(), length_}; }

    // Encodes the text as code page 936. Raises UsageError for an empty key
    // or one that code page 936 cannot hold.
    void Encode();
    // The encoded bytes; empty before Encode().
    const TIdBytes& Bytes() const { return bytes_; }

    // How many characters the text has, and whether a WPA2 network takes it.
    std::size_t Characters() const;
    bool IsWpa2() const;

    // Overwrites the text and the bytes with zeros; the owner is empty then.
    void Wipe();

private:
    std::array<char, kCapacity> text_{};
    std::size_t length_ = 0;
    TIdBytes bytes_;
};

}  // namespace melvorin::cli
