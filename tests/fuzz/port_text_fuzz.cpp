// Fuzz target: the search-port text conversion against a reference of its
// rules written separately here (digit runs checked character by character,
// values taken with std::from_chars in 64 bits). Both must agree on the value
// or on the refusal, and a refusal must carry the conversion message with the
// text as given.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "protocol/errors.h"
#include "protocol/scan.h"

namespace melvorin::fuzz {
namespace {

bool IsDec(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDec(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Leading spaces, one optional sign, then decimal digits, or at most eight
// hexadecimal digits after "$", "x", "X", "0x" or "0X", and nothing after
// them. Decimal must lie in the signed 32-bit range; hexadecimal is a 32-bit
// pattern, negated in 32 bits under a "-".
std::optional<std::int32_t> Reference(std::string_view s) {
    s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
    bool minus = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        minus = s[0] == '-';
        s.remove_prefix(1);
    }
    const std::size_t prefix = s.starts_with("0x") || s.starts_with("0X")                      ? 2
                               : !s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X') ? 1
                                                                                            : 0;
    if (prefix > 0) {
        s.remove_prefix(prefix);
        if (s.empty() || s.size() > 8 || !std::all_of(s.begin(), s.end(), IsHex)) return std::nullopt;
        std::uint64_t pattern = 0;
        std::from_chars(s.data(), s.data() + s.size(), pattern, 16);
        if (minus) pattern = (std::uint64_t{1} << 32) - pattern;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(pattern & 0xFFFFFFFFu));
    }
    if (s.empty() || !std::all_of(s.begin(), s.end(), IsDec)) return std::nullopt;
    s.remove_prefix(std::min(s.find_first_not_of('0'), s.size() - 1));  // keep one digit
    if (s.size() > 10) return std::nullopt;
    std::int64_t magnitude = 0;
    std::from_chars(s.data(), s.data() + s.size(), magnitude, 10);
    const std::int64_t value = minus ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void Run(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = Reference(text);
    const std::string shown = "text '" + text + "' (" + HexOf(data, size) + ")";
    try {
        const std::int32_t value = StrToInt(text);
        FUZZ_CHECK(expected.has_value(), shown + " gave " + std::to_string(value) + ", expected a refusal");
        FUZZ_CHECK(value == *expected, shown + " gave " + std::to_string(value) + ", expected " + std::to_string(*expected));
    } catch (const EConvertError& e) {
        FUZZ_CHECK(!expected.has_value(), shown + " refused, expected " + std::to_string(expected.value_or(0)));
        FUZZ_CHECK(e.Message() == "'" + text + "' is not a valid integer value", shown + ": " + e.Message());
    }
    // Anything else escaping StrToInt ends the run as a crash.
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    melvorin::fuzz::Run(data, size);
    return 0;
}
