#include "units/csv_fields.h"

#include <array>
#include <bit>

namespace melvorin::units::csv {

namespace {

// Each byte's value as a hexadecimal digit, 16 for none.
constexpr auto kHexValues = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(16);
    for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 6; ++i) values['A' + i] = values['a' + i] = static_cast<std::uint8_t>(10 + i);
    return values;
}();

}  // namespace

int BitsOf(std::string_view registry) {
    if (registry == "MA-L") return 24;
    if (registry == "MA-M") return 28;
    if (registry == "MA-S" || registry == "IAB") return 36;
    return 0;
}


// The first `a` or `b` from `p` on before `end`, else `end`: sixteen bytes
// at a time, as the fields to pass over are tens of bytes long. Bytes that
// match compare to all ones; the lowest such byte of the two halves is the
// first match.
const char* FindEither(const char* p, const char* end, char a, char b) {
    if constexpr (std::endian::native == std::endian::little) {
        using Bytes = char __attribute__((vector_size(16)));
        using Words = std::uint64_t __attribute__((vector_size(16)));
        for (; end - p >= 16; p += 16) {
            Bytes bytes;
            std::memcpy(&bytes, p, 16);
            const Words hit = reinterpret_cast<Words>((bytes == a) | (bytes == b));
            if (hit[0] != 0) return p + std::countr_zero(hit[0]) / 8;
            if (hit[1] != 0) return p + 8 + std::countr_zero(hit[1]) / 8;
        }
    }
    while (p != end && *p != a && *p != b) ++p;
    return p;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool HasLineBreak(std::string_view text) {
    return FindEither(text.data(), text.data() + text.size(), '\r', '\n') != text.data() + text.size();
}

std::optional<std::uint64_t> PrefixOf(std::string_view digits) {
    std::uint64_t prefix = 0;
    unsigned none = 0;
    for (const char c : digits) {
        const std::uint8_t digit = kHexValues[static_cast<unsigned char>(c)];
        none |= digit;
        prefix = prefix << 4 | (digit & 0x0Fu);
    }
    if (none & 16) return std::nullopt;
    return prefix;
}

std::optional<Assignment> CommonRecord(const char* p, const char* end) {
    if (end - p < 16) return std::nullopt;
    int bits = 0;
    if (std::memcmp(p, "MA-", 3) == 0 && p[4] == ',') {
        bits = p[3] == 'L' ? 24 : p[3] == 'M' ? 28 : p[3] == 'S' ? 36 : 0;
        p += 5;
    } else if (std::memcmp(p, "IAB,", 4) == 0) {
        bits = 36;
        p += 4;
    }
    const std::size_t digits = static_cast<std::size_t>(bits / 4);
    if (bits == 0 || p[digits] != ',') return std::nullopt;
    const std::optional<std::uint64_t> prefix = PrefixOf(std::string_view(p, digits));
    if (!prefix) return std::nullopt;
    p += digits + 1;

    std::string_view name;
    if (*p == '"') {
        const char* quote = FindEither(p + 1, end, '"', '\n');
        if (end - quote < 2 || *quote != '"' || quote[1] != ',') return std::nullopt;
        name = std::string_view(p + 1, static_cast<std::size_t>(quote - p - 1));
        p = quote + 2;
    } else {
        const char* comma = FindEither(p, end, ',', '\n');
        if (comma == end || *comma != ',') return std::nullopt;
        name = std::string_view(p, static_cast<std::size_t>(comma - p));
        p = comma + 1;
    }
    name = Trimmed(name);
    if (name.empty() || HasLineBreak(name) || p == end) return std::nullopt;

    if (*p == '"') {
        const void* quote = std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1));
        if (quote == nullptr) return std::nullopt;
        p = static_cast<const char*>(quote) + 1;
        if (end - p >= 1 && *p == '\n') return Assignment{*prefix, bits, name, p + 1};
        if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') return Assignment{*prefix, bits, name, p + 2};
        return std::nullopt;
    }
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (newline == nullptr || std::memchr(p, '"', static_cast<std::size_t>(newline - p)) != nullptr) {
        return std::nullopt;
    }
    return Assignment{*prefix, bits, name, newline + 1};
}

}  // namespace melvorin::units::csv
