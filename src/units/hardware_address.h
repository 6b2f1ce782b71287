#pragma once

// A unit's hardware (MAC-48) address: read from text as people write it,
// written as melvorin writes it everywhere (lower case, colon-separated).

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace melvorin::units {

struct HardwareAddress {
    std::array<std::uint8_t, 6> octets{};
    auto operator<=>(const HardwareAddress&) const = default;
};

// Six octets of two hexadecimal digits each, in any case, separated by all
// ':' or all '-' ("24:6F:28:00:00:01", "24-6f-28-00-00-01"); anything else
// gives nothing.
std::optional<HardwareAddress> ParseHardwareAddress(std::string_view text);
// "24:6f:28:00:00:01".
std::string FormatHardwareAddress(const HardwareAddress& address);
// Bit 0x02 of the first octet: an address the unit or its owner chose, which
// no registry assigns.
bool IsLocallyAdministered(const HardwareAddress& address);

}  // namespace melvorin::units
