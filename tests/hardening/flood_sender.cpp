// Sends a bounded burst of hostile datagrams to the window's port on the
// loopback: random bytes, truncated and oversized frames, empty datagrams,
// frames with a wrong checksum, and valid but hostile ones (list replies of
// 8192 bytes with hundreds of records, malformed records, join results).
// Stops after --count datagrams or --seconds, whichever comes first, and
// prints what it sent.
//
// Usage: melvorin_flood_sender [--count N] [--seconds S] [--seed X]
//                              [--ipv6-percent P] [--port PORT] [--rate PER_SECOND]
// --rate spreads the datagrams evenly over time (0, the default, sends as
// fast as the socket takes them).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "netns_guard.h"
#include "wire.h"

namespace {

using Bytes = melvorin::testing::Octets;
using melvorin::testing::Frame;
using melvorin::testing::Sealed;
using Random = melvorin::testing::Xorshift;

// A record's SSID: printable bytes, code page 936 pairs or bytes that do not
// decode, never 0D or 0A.
Bytes Ssid(Random& r, std::size_t length) {
    Bytes s;
    while (s.size() < length) {
        std::uint8_t b = r.Byte();
        if (b == 0x0D || b == 0x0A) b = 'x';
        s.push_back(b);
    }
    return s;
}

void AddRecord(Bytes& payload, const Bytes& ssid, std::uint8_t strength) {
    payload.insert(payload.end(), ssid.begin(), ssid.end());
    payload.push_back(0x00);
    payload.push_back(strength);
    payload.push_back(0x0D);
    payload.push_back(0x0A);
}

// A valid list reply of exactly `size` bytes with as many records as fit.
Bytes FullListReply(Random& r, std::size_t size, std::uint8_t count) {
    Bytes payload = {count};
    std::size_t left = size - 6;  // FF 00 len 81 count ... checksum
    while (left >= 2 * 34) {
        const std::size_t ssid = r.Between(10, 30);
        AddRecord(payload, Ssid(r, ssid), r.Byte());
        left -= ssid + 4;
    }
    AddRecord(payload, Ssid(r, left - 4), r.Byte());
    return Frame(0x81, payload);
}

enum Kind { kRandom, kTruncated, kBadChecksum, kOversized, kEmpty, kFullList, kHostileList, kJoinResult, kEcho, kKinds };
const char* const kNames[kKinds] = {"random",     "truncated",    "bad_checksum", "oversized", "empty",
                                    "list_8192",  "hostile_list", "join_result",  "echo"};
// Out of 100.
const int kWeights[kKinds] = {30, 10, 10, 4, 8, 3, 15, 10, 10};

Bytes Make(Kind kind, Random& r) {
    switch (kind) {
    case kRandom: {
        Bytes b(r.Between(0, 1500));
        for (auto& x : b) x = r.Byte();
        if (!b.empty() && r.Next() % 2) b[0] = 0xFF;
        return b;
    }
    case kTruncated: {
        Bytes b = r.Next() % 2 ? FullListReply(r, r.Between(64, 8192), r.Byte()) : Frame(0x82, {1, 1, r.Byte()});
        b.resize(r.Between(0, b.size() - 1));
        return b;
    }
    case kBadChecksum: {
        Bytes payload = {3};
        for (int i = 0; i < 3; ++i) AddRecord(payload, Ssid(r, r.Between(1, 20)), r.Byte());
        Bytes b = Frame(r.Next() % 2 ? 0x81 : 0x82, payload);
        b.back() = static_cast<std::uint8_t>(b.back() + 1 + r.Between(0, 254));
        return b;
    }
    case kOversized: {
        const std::size_t size = r.Between(8193, 9000);
        if (r.Next() % 2) return FullListReply(r, size, 0xFF);
        Bytes b(size);
        for (auto& x : b) x = r.Byte();
        return b;
    }
    case kEmpty:
        return {};
    case kFullList:
        return FullListReply(r, 8192, static_cast<std::uint8_t>(r.Next() % 4 ? 0xFF : r.Byte()));
    case kHostileList: {
        Bytes payload = {static_cast<std::uint8_t>(r.Between(0, 8))};
        const std::size_t records = r.Between(0, 40);
        for (std::size_t i = 0; i < records; ++i) {
            switch (r.Next() % 6) {
            case 0:  // L = 0: only flag, strength, 0D 0A
                payload.insert(payload.end(), {0x00, r.Byte(), 0x0D, 0x0A});
                break;
            case 1:  // a bare record end
                payload.insert(payload.end(), {0x0D, 0x0A});
                break;
            case 2: {  // SSID with a zero byte and a split
                Bytes s = Ssid(r, r.Between(2, 30));
                s[r.Between(0, s.size() - 1)] = 0x00;
                AddRecord(payload, s, r.Byte());
                break;
            }
            default:
                AddRecord(payload, Ssid(r, r.Between(1, 60)), r.Byte());
                break;
            }
        }
        Bytes b = Frame(0x81, payload);
        if (r.Next() % 4 == 0 && b.size() > 3) {  // a record end inside the header
            b[1] = 0x0D;
            b[2] = 0x0A;
            b = Sealed(b);
        }
        return b;
    }
    case kJoinResult: {
        Bytes payload = {static_cast<std::uint8_t>(r.Next() % 3), static_cast<std::uint8_t>(r.Next() % 3)};
        const std::size_t extra = r.Next() % 4 == 0 ? r.Between(1, 300) : 0;
        for (std::size_t i = 0; i < extra; ++i) payload.push_back(r.Byte());
        return Frame(0x82, payload);
    }
    case kEcho:
    default: {
        if (r.Next() % 2) return {0xFF, 0x00, 0x01, 0x01, 0x02};  // a scan request
        Bytes payload = {0x00};
        const Bytes s = Ssid(r, r.Between(1, 32));
        payload.insert(payload.end(), s.begin(), s.end());
        payload.insert(payload.end(), {0x0D, 0x0A});
        for (std::size_t i = r.Between(8, 60); i > 0; --i) payload.push_back(static_cast<std::uint8_t>('a' + r.Next() % 26));
        return Frame(0x02, payload);  // a join request
    }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "melvorin_flood_sender: refusing to run outside a private network namespace: %s\n",
                     problem.c_str());
        return 2;
    }
    long count = 200000;
    double seconds = 60;
    std::uint64_t seed = 12345;
    int ipv6Percent = 0;
    int port = 12345;
    double rate = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const char* value = argv[i + 1];
        if (opt == "--count") count = std::strtol(value, nullptr, 10);
        else if (opt == "--seconds") seconds = std::strtod(value, nullptr);
        else if (opt == "--seed") seed = std::strtoull(value, nullptr, 0);
        else if (opt == "--ipv6-percent") ipv6Percent = std::atoi(value);
        else if (opt == "--port") port = std::atoi(value);
        else if (opt == "--rate") rate = std::strtod(value, nullptr);
        else {
            std::fprintf(stderr, "unknown option %s\n", opt.c_str());
            return 2;
        }
    }

    Random r{seed | 1};
    // A pool of prepared datagrams per kind; each send picks one.
    std::vector<std::vector<Bytes>> pool(kKinds);
    for (int k = 0; k < kKinds; ++k) {
        const int n = k == kFullList || k == kOversized ? 24 : 128;
        for (int i = 0; i < n; ++i) pool[static_cast<std::size_t>(k)].push_back(Make(static_cast<Kind>(k), r));
    }

    const int fd4 = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int fd6 = ipv6Percent > 0 ? ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0) : -1;
    if (fd4 < 0 || (ipv6Percent > 0 && fd6 < 0)) {
        std::perror("socket");
        return 1;
    }
    // A large send buffer: the burst is limited by the receiver, not by us.
    const int sendBuffer = 4 << 20;
    ::setsockopt(fd4, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    sockaddr_in to4{};
    to4.sin_family = AF_INET;
    to4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to4.sin_port = htons(static_cast<std::uint16_t>(port));
    sockaddr_in6 to6{};
    to6.sin6_family = AF_INET6;
    to6.sin6_addr = in6addr_loopback;
    to6.sin6_port = htons(static_cast<std::uint16_t>(port));

    long sent = 0, failed = 0, sentV6 = 0;
    long perKind[kKinds] = {};
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration<double>(seconds);
    for (long i = 0; i < count; ++i) {
        if ((i & 63) == 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) break;
            if (rate > 0) {
                // Hold back until this datagram's time has come.
                const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(static_cast<double>(i) / rate));
                if (due > now) std::this_thread::sleep_until(due);
            }
        }
        int pick = static_cast<int>(r.Next() % 100);
        int kind = 0;
        while (pick >= kWeights[kind]) pick -= kWeights[kind++];
        const auto& choices = pool[static_cast<std::size_t>(kind)];
        const Bytes& d = choices[r.Next() % choices.size()];
        const bool v6 = fd6 >= 0 && static_cast<int>(r.Next() % 100) < ipv6Percent;
        const ssize_t n = v6 ? ::sendto(fd6, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to6), sizeof to6)
                             : ::sendto(fd4, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to4), sizeof to4);
        if (n == static_cast<ssize_t>(d.size())) {
            ++sent;
            ++perKind[kind];
            if (v6) ++sentV6;
        } else {
            ++failed;
        }
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("sent=%ld failed=%ld ipv6=%ld seconds=%.2f", sent, failed, sentV6, took);
    for (int k = 0; k < kKinds; ++k) std::printf(" %s=%ld", kNames[k], perKind[k]);
    std::printf("\n");
    ::close(fd4);
    if (fd6 >= 0) ::close(fd6);
    return 0;
}
