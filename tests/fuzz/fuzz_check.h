#pragma once

// Shared by the fuzz targets: a check that stops the run with a message when
// an invariant does not hold, so that libFuzzer (or the corpus driver) counts
// the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace melvorin::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    if (!detail.empty()) {
        // The detail may hold zero bytes of the input.
        std::fputs("  ", stderr);
        std::fwrite(detail.data(), 1, detail.size(), stderr);
        std::fputs("\n", stderr);
    }
    std::fflush(stderr);
    std::abort();
}

inline std::string HexOf(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += digits[p[i] >> 4];
        out += digits[p[i] & 0x0F];
    }
    return out;
}

inline std::string HexOf(const std::vector<std::uint8_t>& v) { return HexOf(v.data(), v.size()); }

}  // namespace melvorin::fuzz

#define FUZZ_CHECK(cond, detail)                                                   \
    do {                                                                           \
        if (!(cond)) ::melvorin::fuzz::Fail(__FILE__, __LINE__, #cond, (detail)); \
    } while (0)
