// The makers' registries: the first lookup, which reads and indexes the four
// IEEE files, against reading the same files plainly, line by line (the
// goal) and whole; then a lookup once they are loaded, against writing the
// address as text.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bench.h"
#include "units/makers.h"

namespace melvorin::bench {

namespace {

// The whole file into one string of its size, as a program reads a file it
// needs whole.
std::size_t ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string text(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<std::size_t>(in.gcount());
}

// Line by line, as a program reads a text file it goes through.
std::size_t ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::size_t bytes = 0;
    for (std::string line; std::getline(in, line);) bytes += line.size() + 1;
    return bytes;
}

// Addresses of many makers and of none, as a segment of mixed units gives.
std::vector<units::HardwareAddress> Addresses(int count) {
    std::vector<units::HardwareAddress> out;
    std::uint64_t x = 0x9E3779B97F4A7C15ULL;
    const std::uint8_t known[][3] = {{0x24, 0x6F, 0x28}, {0x70, 0xB3, 0xD5}, {0x00, 0x50, 0xC2}, {0x3C, 0x71, 0xBF}};
    for (int i = 0; i < count; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        units::HardwareAddress a;
        for (std::size_t o = 0; o < 6; ++o) a.octets[o] = static_cast<std::uint8_t>(x >> (8 * o));
        if (i % 2 == 0) std::copy(known[i / 2 % 4], known[i / 2 % 4] + 3, a.octets.begin());
        a.octets[0] &= 0xFC;  // a universal unicast address
        out.push_back(a);
    }
    return out;
}

void Measure(Context& c) {
    const std::string folder = units::Makers::DefaultFolder();
    std::vector<std::string> files;
    for (const char* name : units::Makers::kFiles) files.push_back(folder + "/" + name);
    if (ReadFile(files.front()).empty()) {
        c.rows.push_back({"Makers: first lookup (no " + folder + ")", "-", "-", "-", "-", "ratio ≤ 2", "-"});
        return;
    }
    const std::vector<units::HardwareAddress> addresses = Addresses(c.options.Pick(1'000'000, 100'000));

    // In turns, so that all see the same page cache and the same load.
    std::vector<std::int64_t> first, lines, whole;
    std::size_t bytes = 0;
    for (int i = 0; i < c.options.Pick(15, 5); ++i) {
        const std::int64_t t0 = NowNs();
        bytes = 0;
        for (const std::string& file : files) bytes += ReadLines(file);
        const std::int64_t t1 = NowNs();
        for (const std::string& file : files) ReadWhole(file);
        const std::int64_t t2 = NowNs();
        units::Makers makers(folder);
        const bool found = makers.MakerOf(addresses.front()).has_value();
        const std::int64_t t3 = NowNs();
        lines.push_back(t1 - t0);
        whole.push_back(t2 - t1);
        if (found) first.push_back(t3 - t2);
    }
    const std::int64_t f50 = Quantile(first, 0.5), l50 = Quantile(lines, 0.5), w50 = Quantile(whole, 0.5);
    const double ratio = RatioOf(f50, l50);
    const std::string what = "Makers: first lookup, four registries loaded, p50 of " + std::to_string(lines.size());
    c.rows.push_back({what, Ms(f50), "reading their " + std::to_string(bytes / 1024) + " KiB line by line", Ms(l50),
                      Ratio(ratio), "ratio ≤ 2", Met(first.size() == lines.size() && ratio <= 2.0)});
    c.rows.push_back({what, Ms(f50), "reading them whole, one read each", Ms(w50), Ratio(RatioOf(f50, w50)), "-", "-"});
    // The first round alone: the table's memory is new to the process, as in
    // a program that looks a maker up once.
    if (!first.empty()) {
        c.rows.push_back({"Makers: first lookup, the first round alone", Ms(first.front()), "reading line by line, same round",
                          Ms(lines.front()), Ratio(RatioOf(first.front(), lines.front())), "-", "-"});
    }

    // Later lookups, and writing each address as text, in turns.
    units::Makers makers(folder);
    makers.MakerOf(addresses.front());
    std::vector<std::int64_t> lookup, written;
    std::size_t found = 0, length = 0;
    const std::size_t batch = 10'000;
    for (std::size_t from = 0; from + batch <= addresses.size(); from += batch) {
        const std::int64_t t0 = NowNs();
        for (std::size_t i = from; i < from + batch; ++i) found += makers.MakerOf(addresses[i]).has_value();
        const std::int64_t t1 = NowNs();
        for (std::size_t i = from; i < from + batch; ++i) length += units::FormatHardwareAddress(addresses[i]).size();
        const std::int64_t t2 = NowNs();
        lookup.push_back((t1 - t0) / static_cast<std::int64_t>(batch));
        written.push_back((t2 - t1) / static_cast<std::int64_t>(batch));
    }
    const std::int64_t k50 = Quantile(lookup, 0.5), k99 = Quantile(lookup, 0.99), t50 = Quantile(written, 0.5);
    c.rows.push_back({"Makers: later lookup, p50 / p99 of batches (" + std::to_string(found * 100 / addresses.size()) +
                          "% found)",
                      std::to_string(k50) + " ns / " + std::to_string(k99) + " ns",
                      "writing the address (" + std::to_string(length / addresses.size()) + " chars)",
                      std::to_string(t50) + " ns", Ratio(RatioOf(k50, t50)), "p50 < 1 µs", Met(k50 > 0 && k50 < 1000)});
}

}  // namespace

Benchmark MakersBenchmark() { return {"makers", "makers' registries", Stage::BeforeApplication, Measure}; }

}  // namespace melvorin::bench
