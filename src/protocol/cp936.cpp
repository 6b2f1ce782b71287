#include "protocol/cp936.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string_view>

#include "protocol/cp936_system.h"
#include "protocol/errors.h"
#include "protocol/secret_bytes.h"
#include "protocol/utf8.h"

namespace melvorin {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Without the system's code page 936 tables: ASCII as it is, U+FFFD for every
// other byte.
std::string AsciiOnly(const TIdBytes& bytes) {
    std::string out;
    for (const std::uint8_t b : bytes) {
        if (b <= 0x7F) {
            out += static_cast<char>(b);
        } else {
            out += kReplacement;
        }
    }
    return out;
}

}  // namespace

TIdBytes TextToCp936(const std::string& text) {
    if (!IsValidUtf8(text)) {
        throw EEncodingError("The key is not valid UTF-8 text.");
    }
    // A key's bytes: in storage taken once (no character of code page 936
    // takes more bytes than in UTF-8), wiped once copied out.
    Scratch<std::string> out;
    out.data.reserve(text.size());
    switch (sys::EncodeCp936(text, out.data)) {
    case sys::TEncoded::Ok:
        break;
    case sys::TEncoded::NoConversion:
        throw EEncodingError("The system cannot convert text to code page 936.");
    case sys::TEncoded::Unencodable:
        throw EEncodingError("The key holds a character that code page 936 cannot encode.");
    }
    return TIdBytes(out.data.begin(), out.data.end());
}

std::string Cp936ToText(const TIdBytes& bytes) {
    std::string out;
    if (sys::DecodeCp936(bytes, out, kReplacement) < 0) return AsciiOnly(bytes);
    return out;
}

namespace {

std::atomic<NameReading> preferredReading{NameReading::Utf8};

// Both readings of an SSID's shown bytes (up to the first zero byte).
struct Readings {
    std::string utf8;   // set when the bytes are valid UTF-8
    std::string cp936;  // the code page 936 reading, U+FFFD where it fails
    bool utf8Valid = false;
    bool cp936Valid = false;
    bool longSequence = false;
    bool highBytes = false;
};

Readings Read(const TIdBytes& bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    const TIdBytes shown(bytes.begin(), end);
    Readings r;
    r.highBytes = std::any_of(shown.begin(), shown.end(), [](std::uint8_t b) { return b > 0x7F; });
    const std::string_view text(reinterpret_cast<const char*>(shown.data()), shown.size());
    r.utf8Valid = IsValidUtf8(text, &r.longSequence);
    if (r.utf8Valid) r.utf8.assign(shown.begin(), shown.end());
    const int replaced = sys::DecodeCp936(shown, r.cp936, kReplacement);
    r.cp936Valid = replaced == 0;
    if (replaced < 0) r.cp936 = AsciiOnly(shown);
    return r;
}

// Whether the UTF-8 reading is the one shown.
bool ChoosesUtf8(const Readings& r, NameReading preferred) {
    if (!r.utf8Valid || !r.highBytes) return false;  // ASCII reads the same either way
    if (r.longSequence || !r.cp936Valid) return true;
    return preferred == NameReading::Utf8;
}

}  // namespace

void SetPreferredReading(NameReading reading) { preferredReading.store(reading); }

NameReading PreferredReading() { return preferredReading.load(); }

NameReading ReadingForLocale(const std::string& localeName) {
    return localeName.rfind("zh", 0) == 0 ? NameReading::Cp936 : NameReading::Utf8;
}

std::string BytesToText(const TIdBytes& bytes, NameReading preferred) {
    Readings r = Read(bytes);
    return ChoosesUtf8(r, preferred) ? std::move(r.utf8) : std::move(r.cp936);
}

std::string BytesToText(const TIdBytes& bytes) { return BytesToText(bytes, PreferredReading()); }

std::optional<std::string> OtherReading(const TIdBytes& bytes, NameReading preferred) {
    Readings r = Read(bytes);
    if (!r.utf8Valid || !r.cp936Valid || r.utf8 == r.cp936) return std::nullopt;
    return ChoosesUtf8(r, preferred) ? std::move(r.cp936) : std::move(r.utf8);
}

std::optional<std::string> OtherReading(const TIdBytes& bytes) { return OtherReading(bytes, PreferredReading()); }

}  // namespace melvorin
