// Fuzz target: the device library (device/) with one context across all
// inputs, as a unit keeps one for its life. Every datagram gets no reply or
// the one its request calls for, never a byte past the caller's capacity;
// the station's own datagram handler reads every reply back. The online
// announcement: the station's parser reads the datagram as its model says,
// and reads back the announcement the library builds of the datagram's
// first ten bytes, which the station's handler drops.
//
// Input: one control byte, then the datagram. Bits 0-1 pick the radio's
// networks, bit 2 sets the lead byte to 0xFF, bit 3 writes the right length
// byte, bit 4 the right checksum, bits 5-7 the reply buffer's capacity.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "melvorin_device.h"
#include "protocol/online.h"
#include "station_read.h"

namespace melvorin::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Radio {
    std::vector<Bytes> ssids;
    std::vector<std::uint8_t> signals;
};

std::vector<Radio> MakeRadios() {
    std::vector<Radio> radios(4);
    // Listable and unlistable networks, one open (the third).
    radios[0].ssids = {{'H', 'o', 'm', 'e'}, {}, {'a', 0x0D, 0x0A, 'b'}, {0x0A, 'z'}, {0xC4, 0xE3}, {'x', 0x0D}};
    radios[0].signals = {70, 90, 80, 60, 50, 40};
    for (int i = 0; i < 300; ++i) {  // more than a reply may count
        const std::string name = "net-" + std::to_string(i);
        radios[1].ssids.emplace_back(name.begin(), name.end());
        radios[1].signals.push_back(static_cast<std::uint8_t>(i % 101));
    }
    radios[2].ssids = {{'O', 'p', 'e', 'n'}};
    radios[2].signals = {33};
    return radios;  // radios[3]: no network
}

const std::vector<Radio>& Radios() {
    static const std::vector<Radio> radios = MakeRadios();
    return radios;
}

int Networks(void* user, unsigned index, mlvd_network* out) {
    const Radio& radio = **static_cast<const Radio* const*>(user);
    if (index >= radio.ssids.size()) return 0;
    const Bytes& ssid = radio.ssids[index];
    *out = {ssid.data(), static_cast<std::uint8_t>(ssid.size()), radio.signals[index],
            static_cast<std::uint8_t>(&radio == &Radios()[2] ? 1 : 0)};
    return 1;
}

void Join(void*, const std::uint8_t*, std::size_t, const std::uint8_t*, std::size_t) {}

unsigned Sum(const Bytes& d, std::size_t from, std::size_t to) {  // [from, to)
    unsigned sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += d[i];
    return sum % 256;
}

// The reply a request calls for: 0x81, 0x82 or none (0).
std::uint8_t ExpectedReply(const Bytes& d, std::size_t capacity) {
    const std::size_t n = d.size();
    if (n < 5 || n > 259 || d[0] != 0xFF || d[2] != n - 4 || Sum(d, 1, n - 1) != d[n - 1]) return 0;
    if (d[3] == 0x01) return capacity >= 6 ? 0x81 : 0;
    if (d[3] != 0x02 || n < 8 || d[4] != 0x00 || capacity < 7) return 0;
    for (std::size_t cr = 5; cr + 2 <= n - 1; ++cr) {
        if (d[cr] == 0x0D && d[cr + 1] == 0x0A) return 0x82;
    }
    return 0;
}

// Whether the station's parser should take `d` as an online announcement.
bool IsOnline(const Bytes& d) {
    const std::size_t n = d.size();
    return (n == 17 || n == 49) && d[0] == 0xFF && d[1] == 0x00 && d[2] == n - 4 && d[3] == 0x84 && d[4] == 0x01 &&
           d[15] == (n == 49 ? 0x01 : 0x00) && Sum(d, 1, n - 1) == d[n - 1];
}

// The clear announcement of the datagram's first ten bytes (zeros past its
// end) into `capacity` bytes, read back by the station.
void Announce(const Bytes& d, std::size_t capacity, const std::string& shown) {
    Bytes addresses(10, 0);
    std::copy_n(d.begin(), std::min<std::size_t>(d.size(), 10), addresses.begin());
    Bytes frame(capacity + 8, 0xEE);
    const std::size_t n = mlvd_online(addresses.data(), addresses.data() + 6, frame.data(), capacity);
    FUZZ_CHECK(n == (capacity >= MLVD_ONLINE_SIZE ? MLVD_ONLINE_SIZE : 0), shown);
    for (std::size_t i = n; i < frame.size(); ++i) FUZZ_CHECK(frame[i] == 0xEE, shown + ": announced past the buffer");
    if (n == 0) return;
    frame.resize(n);
    const auto online = ParseOnline(frame);
    FUZZ_CHECK(online && !online->sealed && std::equal(online->mac.begin(), online->mac.end(), addresses.begin()) &&
                   std::equal(online->ipv4.begin(), online->ipv4.end(), addresses.begin() + 6),
               shown + ", announced " + HexOf(frame));
    const StationRead read = ReadAsStation(frame);
    FUZZ_CHECK(read.kind == TDatagramKind::Dropped && read.rows.empty() && read.notices.empty(),
               shown + ", announced " + HexOf(frame));
}

void Run(const std::uint8_t* input, std::size_t size) {
    static const mlvd_callbacks callbacks = {Networks, Join, nullptr};
    static const Radio* radio = nullptr;
    static mlvd_device device = [] {
        mlvd_device d;
        mlvd_init(&d, &callbacks, &radio);
        return d;
    }();
    static const std::size_t capacities[] = {0, 5, 6, 7, 17, 64, 512, 1472};
    if (size == 0) return;
    const std::uint8_t control = input[0];
    radio = &Radios()[control & 0x03];
    const std::size_t capacity = capacities[control >> 5];
    Bytes d(input + 1, input + size);
    if ((control & 0x04) && !d.empty()) d[0] = 0xFF;
    if ((control & 0x08) && d.size() >= 3) d[2] = static_cast<std::uint8_t>(d.size() - 4);
    if ((control & 0x10) && d.size() >= 2) d.back() = static_cast<std::uint8_t>(Sum(d, 1, d.size() - 1));
    const std::string shown = "datagram " + HexOf(d) + ", capacity " + std::to_string(capacity);

    const unsigned before = device.scans + device.joins + device.refused + device.ignored;
    Bytes reply(capacity + 8, 0xEE);
    const std::size_t n = mlvd_handle(&device, d.data(), d.size(), control & 1, reply.data(), capacity);
    FUZZ_CHECK(n <= capacity, shown);
    for (std::size_t i = n; i < reply.size(); ++i) FUZZ_CHECK(reply[i] == 0xEE, shown + ": written past the reply");
    const unsigned after = device.scans + device.joins + device.refused + device.ignored;
    FUZZ_CHECK((after - before) % 65536 == 1, shown + ": not counted once");
    reply.resize(n);

    const std::uint8_t expected = ExpectedReply(d, capacity);
    FUZZ_CHECK((n == 0) == (expected == 0), shown + ", got " + HexOf(reply));
    const auto online = ParseOnline(d);
    FUZZ_CHECK(online.has_value() == IsOnline(d) && (!online || n == 0), shown);
    if (online) {
        const auto at = [&](std::size_t offset) { return d.begin() + static_cast<std::ptrdiff_t>(offset); };
        FUZZ_CHECK(online->sealed == (d.size() == 49) && std::equal(online->mac.begin(), online->mac.end(), at(5)) &&
                       std::equal(online->ipv4.begin(), online->ipv4.end(), at(11)),
                   shown);
        FUZZ_CHECK(!online->sealed || (std::equal(online->token.begin(), online->token.end(), at(16)) &&
                                       std::equal(online->tag.begin(), online->tag.end(), at(32))),
                   shown);
    }
    Announce(d, capacity, shown);
    if (n == 0) return;
    FUZZ_CHECK(reply[3] == expected && reply[0] == 0xFF && reply[2] == (n - 4 > 255 ? 255 : n - 4) &&
                   Sum(reply, 1, n - 1) == reply[n - 1],
               shown + ", got " + HexOf(reply));
    const StationRead read = ReadAsStation(reply);
    if (expected == 0x82) {
        FUZZ_CHECK(n == 7 && read.kind == TDatagramKind::JoinResult && read.notices.size() == 1, shown);
    } else {
        // Every record read back is a network the radio sees, as many as counted.
        FUZZ_CHECK(read.rows.size() == reply[4], shown + ", got " + HexOf(reply));
        for (std::size_t i = 0; i < read.rows.size(); ++i) {
            bool seen = false;
            for (const Bytes& ssid : radio->ssids) seen = seen || ssid == read.table[i];
            FUZZ_CHECK(seen, shown + ", got " + HexOf(reply));
        }
    }
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    melvorin::fuzz::Run(data, size);
    return 0;
}
