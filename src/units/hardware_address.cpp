#include "units/hardware_address.h"

namespace melvorin::units {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<HardwareAddress> ParseHardwareAddress(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    const char separator = text[2];
    if (separator != ':' && separator != '-') return std::nullopt;
    HardwareAddress address;
    for (std::size_t i = 0; i < address.octets.size(); ++i) {
        const std::size_t at = i * 3;
        if (i > 0 && text[at - 1] != separator) return std::nullopt;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        address.octets[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return address;
}

std::string FormatHardwareAddress(const HardwareAddress& address) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(17);
    for (std::size_t i = 0; i < address.octets.size(); ++i) {
        if (i > 0) text += ':';
        text += kDigits[address.octets[i] >> 4];
        text += kDigits[address.octets[i] & 0x0F];
    }
    return text;
}

bool IsLocallyAdministered(const HardwareAddress& address) { return (address.octets[0] & 0x02) != 0; }

}  // namespace melvorin::units
