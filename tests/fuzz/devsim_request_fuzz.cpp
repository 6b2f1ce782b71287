// Fuzz target: the simulated device's request handling. Every datagram gets
// either no reply or the one reply that the request calls for, worked out
// again here from the bytes; each reply is then read back by the tool's own
// datagram handler, which must show the device's networks or the verdict.
//
// Input: one control byte, then the datagram. Bits 0-1 pick the device's
// networks and key, bit 2 sets the lead byte to 0xFF, bit 4 the length byte
// to the datagram's size - 4, bit 3 writes the right checksum into the last
// byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/options.h"
#include "fuzz_check.h"
#include "protocol/cp936.h"
#include "protocol/join.h"
#include "station_read.h"

namespace melvorin::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using devsim::DeviceConfig;

DeviceConfig MakeConfig(int which) {
    DeviceConfig config;
    switch (which) {
    case 0:  // the simulator's own networks, any key of 8 to 63 bytes
        config = devsim::ParseArgs({}).config;
        break;
    case 1:  // the same networks and one fixed key
        config = devsim::ParseArgs({}).config;
        config.key = Bytes{'s', 'e', 'c', 'r', 'e', 't', '9', '9'};
        break;
    case 2:  // as many networks as a list reply can count
        for (int i = 0; i < 255; ++i) {
            const std::string name = "net-" + std::to_string(i);
            config.networks.push_back({Bytes(name.begin(), name.end()), static_cast<std::uint8_t>(i)});
        }
        break;
    default:  // no network at all
        break;
    }
    FUZZ_CHECK(devsim::ConfigProblem(config).empty(), devsim::ConfigProblem(config));
    return config;
}

const DeviceConfig& Config(int which) {
    static const std::vector<DeviceConfig> configs = {MakeConfig(0), MakeConfig(1), MakeConfig(2), MakeConfig(3)};
    return configs[static_cast<std::size_t>(which)];
}

unsigned Sum(const Bytes& d, std::size_t from, std::size_t to) {  // [from, to)
    unsigned sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += d[i];
    return sum % 256;
}

// What the device makes of a datagram: nothing, a scan, or a join with the
// SSID before the first 0D 0A of the payload and the key after it.
struct Expected {
    enum Kind { None, Scan, Join } kind = None;
    Bytes ssid, key;
};

Expected ExpectedRequest(const Bytes& d) {
    const std::size_t n = d.size();
    Expected e;
    if (n < 5 || n > 259 || d[0] != 0xFF || d[2] != n - 4 || Sum(d, 1, n - 1) != d[n - 1]) return e;
    if (d[3] == 0x01) {
        e.kind = Expected::Scan;
    } else if (d[3] == 0x02 && n >= 8 && d[4] == 0x00) {
        // The pair must lie wholly before the checksum.
        for (std::size_t cr = 5; cr + 2 <= n - 1; ++cr) {
            if (d[cr] == 0x0D && d[cr + 1] == 0x0A) {
                e.kind = Expected::Join;
                e.ssid.assign(d.begin() + 5, d.begin() + static_cast<std::ptrdiff_t>(cr));
                e.key.assign(d.begin() + static_cast<std::ptrdiff_t>(cr + 2), d.end() - 1);
                break;
            }
        }
    }
    return e;
}

// The tool's reading of the scan reply: one row per network, in order.
void CheckListReplyReadBack(const Bytes& reply, const DeviceConfig& config) {
    const std::string shown = "reply " + HexOf(reply);
    FUZZ_CHECK(reply.size() <= 8192, shown);
    const StationRead read = ReadAsStation(reply);
    FUZZ_CHECK(read.notices.empty(), shown);
    FUZZ_CHECK(read.rows.size() == config.networks.size(), shown);
    for (std::size_t i = 0; i < config.networks.size(); ++i) {
        const devsim::Network& net = config.networks[i];
        FUZZ_CHECK(read.table[i] == net.ssid, shown);
        FUZZ_CHECK(read.rows[i].caption == BytesToText(net.ssid), shown);
        FUZZ_CHECK(read.rows[i].subItem == std::to_string(net.strength) + "%", shown);
    }
}

void Run(const std::uint8_t* input, std::size_t size) {
    if (size == 0) return;
    const std::uint8_t control = input[0];
    const int which = control & 0x03;
    Bytes d(input + 1, input + size);
    if ((control & 0x04) && !d.empty()) d[0] = 0xFF;
    if ((control & 0x10) && d.size() >= 4) d[2] = static_cast<std::uint8_t>(d.size() - 4);
    if ((control & 0x08) && d.size() >= 2) d.back() = static_cast<std::uint8_t>(Sum(d, 1, d.size() - 1));
    const DeviceConfig& config = Config(which);
    const std::string shown = "config " + std::to_string(which) + ", datagram " + HexOf(d);

    std::optional<Bytes> reply;
    try {
        reply = devsim::HandleRequest(d, config);
    } catch (...) {
        FUZZ_CHECK(false, shown + ": HandleRequest raised");
    }

    const Expected expected = ExpectedRequest(d);
    switch (expected.kind) {
    case Expected::None:
        FUZZ_CHECK(!reply.has_value(), shown + " got reply " + HexOf(reply.value_or(Bytes{})));
        break;
    case Expected::Scan: {
        FUZZ_CHECK(reply.has_value(), shown);
        static std::optional<Bytes> first[4];
        if (!first[which]) {
            CheckListReplyReadBack(*reply, config);
            first[which] = *reply;
        }
        FUZZ_CHECK(*reply == *first[which], shown);  // every scan gets the same list
        break;
    }
    case Expected::Join: {
        FUZZ_CHECK(reply.has_value(), shown);
        bool ssidOk = false;
        for (const devsim::Network& net : config.networks) ssidOk = ssidOk || net.ssid == expected.ssid;
        const bool keyOk = config.key ? expected.key == *config.key : expected.key.size() >= 8 && expected.key.size() <= 63;
        const Bytes want = {0xFF, 0x00, 0x03, 0x82, static_cast<std::uint8_t>(ssidOk), static_cast<std::uint8_t>(keyOk),
                            static_cast<std::uint8_t>((0x03 + 0x82 + ssidOk + keyOk) % 256)};
        FUZZ_CHECK(*reply == want, shown + " got " + HexOf(*reply) + ", expected " + HexOf(want));
        // The tool shows the matching verdict.
        const std::vector<std::string> notices = ReadAsStation(*reply).notices;
        const char* message = !keyOk ? kMsgKeyWrong : ssidOk ? kMsgJoined : kMsgSsidWrong;
        FUZZ_CHECK(notices.size() == 1 && notices[0] == message, shown);
        break;
    }
    }
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    melvorin::fuzz::Run(data, size);
    return 0;
}
