// Runs a fuzz target's entry point without libFuzzer: over every file of the
// given corpus directories (or files), then over a fixed number of mutations
// of them drawn from a fixed seed, so the same inputs run on every build.
//
// Usage: <driver> [--mutations N] [--seed S] PATH...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "netns_guard.h"
#include "wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Random = melvorin::testing::Xorshift;

void Mutate(Bytes& b, Random& r) {
    static const std::uint8_t kInteresting[] = {0x00, 0x01, 0x0A, 0x0D, 0x7F, 0x80, 0x81, 0x82, 0xFF, ' ', '$', '-', 'x', '0', '9'};
    const int steps = 1 + static_cast<int>(r.Below(4));
    for (int s = 0; s < steps; ++s) {
        switch (r.Below(7)) {
        case 0:
            if (!b.empty()) b[r.Below(b.size())] ^= static_cast<std::uint8_t>(1u << r.Below(8));
            break;
        case 1:
            if (!b.empty()) b[r.Below(b.size())] = r.Byte();
            break;
        case 2:
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(r.Below(b.size() + 1)), r.Byte());
            break;
        case 3:
            if (!b.empty()) b.erase(b.begin() + static_cast<std::ptrdiff_t>(r.Below(b.size())));
            break;
        case 4:
            b.resize(r.Below(b.size() + 1));
            break;
        case 5:
            if (!b.empty()) b[r.Below(b.size())] = kInteresting[r.Below(sizeof kInteresting)];
            break;
        default:  // repeat a piece
            if (!b.empty() && b.size() < 9000) {
                const std::size_t from = r.Below(b.size());
                const std::size_t len = 1 + r.Below(std::min<std::size_t>(b.size() - from, 64));
                const Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + len));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(r.Below(b.size() + 1)), piece.begin(), piece.end());
            }
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "refusing to run outside a private network namespace: %s\n", problem.c_str());
        return 2;
    }
    long mutations = 0;
    std::uint64_t seed = 0x6d656c766f72696eULL;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mutations" && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 0);
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else if (std::filesystem::is_regular_file(arg)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such corpus file or directory: %s\n", arg.c_str());
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "no corpus inputs given\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    std::vector<Bytes> corpus;
    for (const auto& path : files) {
        corpus.push_back(ReadFile(path));
        LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
    Random random{seed | 1};
    for (long i = 0; i < mutations; ++i) {
        Bytes input = corpus[random.Below(corpus.size())];
        Mutate(input, random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("ran %zu corpus inputs and %ld mutations of them\n", corpus.size(), mutations);
    return 0;
}
