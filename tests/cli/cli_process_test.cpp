// The real melvorin-cli against melvorin-devsim playing several devices, each
// with an address of its own on loopback (in the test's private namespace).

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/report.h"
#include "udp_peer.h"

namespace melvorin::cli {
namespace {

using testing::ChildProcess;
using testing::Octets;
using testing::UdpPeer;

// 办公室WiFi in code page 936, as melvorin-devsim sends it.
constexpr const char* kOffice = "办公室WiFi";
constexpr const char* kOfficeHex = "b0ecb9abcad257694669";

struct CliRun {
    int code;
    std::string out, err;
};

// `meanwhile` runs over and over while the program runs; `env` adds to its
// environment.
CliRun Cli(const std::vector<std::string>& args, const std::optional<std::string>& input = std::nullopt,
           const std::function<void()>& meanwhile = {}, const std::vector<std::string>& env = {}) {
    ChildProcess cli(MELVORIN_CLI_PATH, args, ChildProcess::Output::Capture, env, input);
    const int code = cli.WaitExit(30000, meanwhile);
    return {code, cli.Stdout(), cli.Stderr()};
}

// melvorin-devsim, ready to answer.
class Devices : public ChildProcess {
public:
    explicit Devices(const std::vector<std::string>& args) : ChildProcess(MELVORIN_DEVSIM_PATH, args) {
        EXPECT_TRUE(WaitForStderr("listening on port")) << Stderr();
    }
};

std::string Result(const std::string& address, const char* verdict, const char* message) {
    return std::string("{\"address\": \"") + address + "\", \"interface\": \"lo\", \"verdict\": \"" + verdict +
           "\", \"message\": \"" + message + "\", \"mac\": null, \"vendor\": null, \"sealed\": false, \"online\": null}";
}

TEST(CliProcess, ScanListsEveryDeviceWithItsNetworksStrongestFirst) {
    Devices devices({"--devices", "3", "--network", "HomeNet:73", "--network", std::string(kOffice) + ":90",
                     "--network", "a\"b\\c:5"});
    const CliRun json = Cli({"scan", "--json", "--timeout", "1.2"});
    std::string expected = "{\"devices\": [";
    for (int d = 1; d <= 3; ++d) {
        expected += std::string(d > 1 ? ", " : "") + "{\"address\": \"127.0.1." + std::to_string(d) +
                    "\", \"interface\": \"lo\", \"networks\": [{\"ssid\": \"" + kOffice + "\", \"ssid_hex\": \"" +
                    kOfficeHex +
                    "\", \"strength\": 90}, {\"ssid\": \"HomeNet\", \"ssid_hex\": \"486f6d654e6574\", \"strength\": "
                    "73}, {\"ssid\": \"a\\\"b\\\\c\", \"ssid_hex\": \"6122625c63\", \"strength\": 5}], \"mac\": null, \"vendor\": null}";
    }
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, expected + "], \"dropped\": 0}\n");

    const CliRun table = Cli({"scan", "--timeout", "0.5"});
    EXPECT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find(std::string("127.0.1.2 on lo: 3 networks\n   90%  ") + kOffice + "\n   73%  HomeNet\n"),
              std::string::npos)
        << table.out;
}

TEST(CliProcess, JoinGivesEachVerdictItsExitCodeAndJson) {
    // Two devices that take any key of 8 to 63 bytes; one more that takes
    // only goodkey1 and sees one network.
    Devices open({"--devices", "2"});
    Devices strict({"--devices", "1", "--first-address", "127.0.2.1", "--key", "goodkey1", "--network",
                    std::string(kOffice) + ":90"});
    const std::string head = std::string("{\"ssid\": \"") + kOffice + "\", \"ssid_hex\": \"" + kOfficeHex + "\", ";

    // Every device that offers the network; the key-format refusal wins.
    CliRun all = Cli({"join", "--ssid", kOffice, "--key-file", "-", "--json", "--scan-timeout", "0.5"}, "12345678\n");
    EXPECT_EQ(all.code, 4) << all.err;
    EXPECT_EQ(all.out, head + "\"results\": [" + Result("127.0.1.1", "accepted", "提交成功，请检查设备状态") + ", " +
                           Result("127.0.1.2", "accepted", "提交成功，请检查设备状态") + ", " +
                           Result("127.0.2.1", "key_format", "密码格式有误，请重新输入") + "], \"exit_code\": 4, \"dropped\": 0}\n");

    // One device, its key from a file whose line ends in CR LF.
    char keyPath[] = "/tmp/mlv-cli-key-XXXXXX";
    const int fd = mkstemp(keyPath);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "goodkey1\r\nsecond line\n", 22), 22);
    close(fd);
    CliRun one = Cli({"join", "--ssid", kOffice, "--key-file", keyPath, "--device", "127.0.2.1", "--json"});
    std::remove(keyPath);
    EXPECT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(one.out, head + "\"results\": [" + Result("127.0.2.1", "accepted", "提交成功，请检查设备状态") +
                           "], \"exit_code\": 0, \"dropped\": 0}\n");

    // Raw bytes that the device does not see: its result says so.
    CliRun wrong = Cli({"join", "--ssid-hex", "4142", "--device", "127.0.1.2", "--key-file", "-", "--json"}, "12345678");
    EXPECT_EQ(wrong.code, 10) << wrong.err;
    EXPECT_NE(wrong.out.find("\"verdict\": \"ssid_not_found\", \"message\": \"SSID出错了，请重获SSID\""),
              std::string::npos)
        << wrong.out;

    // A network no device offers, and a device that is not there.
    // Its name, typed with a byte that is not UTF-8, still makes valid JSON.
    CliRun missing =
        Cli({"join", "--ssid", "Nope\xFF", "--key-file", "-", "--json", "--scan-timeout", "0.5"}, "12345678");
    EXPECT_EQ(missing.code, 10) << missing.err;
    EXPECT_EQ(missing.out,
              "{\"ssid\": \"Nope\uFFFD\", \"ssid_hex\": \"\", \"results\": [], \"exit_code\": 10, \"dropped\": 0}\n");
    CliRun absent = Cli({"join", "--ssid", kOffice, "--device", "127.0.3.3", "--key-file", "-", "--json",
                      "--scan-timeout", "0.5"},
                     "12345678");
    EXPECT_EQ(absent.code, 3) << absent.err;
    EXPECT_NE(absent.out.find("{\"address\": \"127.0.3.3\", \"interface\": \"\", \"verdict\": \"no_result\""),
              std::string::npos)
        << absent.out;
}

// 3楼WiFi in code page 936 is also valid UTF-8 (3¥WiFi): named in the
// reading of the user's language, and found by either.
TEST(CliProcess, NameBothWaysValidFollowsTheLanguageAndEitherReadingJoins) {
    Devices devices({"--devices", "1", "--network", "3楼WiFi:60"});
    for (const std::string lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        const CliRun scan = Cli({"scan", "--timeout", "0.5"}, std::nullopt, {},
                                {"LANG=" + lang, "LC_ALL=", "LC_MESSAGES="});
        EXPECT_EQ(scan.code, 0) << scan.err;
        EXPECT_NE(scan.out.find(lang[0] == 'z' ? "60%  3楼WiFi\n" : "60%  3¥WiFi\n"), std::string::npos) << scan.out;
    }
    for (const char* name : {"3楼WiFi", "3¥WiFi"}) {
        const CliRun join = Cli({"join", "--ssid", name, "--key-file", "-", "--scan-timeout", "0.5"}, "12345678\n", {},
                                {"LC_ALL=C.UTF-8"});
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_NE(join.out.find("(33c2a557694669)\n127.0.1.1 on lo: accepted"), std::string::npos) << join.out;
    }
}

// Names that would drive a terminal, forge lines or read backwards; the
// window's list would show the same captions and markers. Strongest first.
struct HostileName {
    std::string ssid;   // the bytes on the wire
    std::string json;   // "ssid" in the JSON, escaped
    std::string shown;  // in the table
};
const std::vector<HostileName> kHostile = {
    {"\x1B[2J\x1B[31mRED", "\\u001b[2J\\u001b[31mRED", "[U+001B][2J[U+001B][31mRED"},
    {"x\n   99%  HomeNet", "x\\u000a   99%  HomeNet", "x[U+000A]   99%  HomeNet"},
    {"Fake\rHomeNet", "Fake\\u000dHomeNet", "Fake[U+000D]HomeNet"},
    {"tab\there", "tab\\u0009here", "tab[U+0009]here"},
    {"ring\x07\x08\x08\x7F", "ring\\u0007\\u0008\\u0008\\u007f", "ring[U+0007][U+0008][U+0008][U+007F]"},
    {"Bad\xFF", "Bad\uFFFD", "Bad\uFFFD"},
    {"Home\u202Egnp.exe", "Home\\u202egnp.exe", "Home[U+202E]gnp.exe"},
    {"c1\u009B31mX", "c1\\u009b31mX", "c1[U+009B]31mX"},
    {std::string(197, 'W') + "\u202E", std::string(197, 'W') + "\\u202e", std::string(197, 'W') + "[U+202E]"},
    {"HomeNet\U000E0041", "HomeNet\U000E0041", "HomeNet[U+E0041]"},  // a tag character: shows as nothing
    {std::string("HomeNet\0evil", 12), "HomeNet", "HomeNet"},  // the caption ends at the zero byte
    {"HomeNet", "HomeNet", "HomeNet"},
};

std::uint8_t HostileStrength(std::size_t i) { return static_cast<std::uint8_t>(100 - 5 * i); }

// A device on the search port that answers scans with kHostile and join
// requests with acceptance, keeping the last join request.
struct HostileDevice {
    UdpPeer peer;
    Octets join;
    HostileDevice() { EXPECT_TRUE(peer.Bind("", 0)); }
    std::string Port() const { return std::to_string(peer.LocalPort()); }
    void Serve() {
        const auto request = peer.Receive(20);
        if (!request || request->data.size() < 5) return;
        if (request->data == testing::kScanRequestBytes) {
            testing::Records records;
            for (std::size_t i = 0; i < kHostile.size(); ++i) {
                records.push_back({testing::BytesOf(kHostile[i].ssid), HostileStrength(i)});
            }
            peer.SendTo(request->fromIP, request->fromPort, testing::ListReply(records));
        } else if (request->data[3] == 0x02) {
            join = request->data;
            peer.SendTo(request->fromIP, request->fromPort, testing::JoinResult(0x01, 0x01));
        }
    }
};

// Nothing for a terminal to act on: no control byte but the line ends, no
// DEL, no C1 control, no bidirectional control, nothing that is not UTF-8.
void ExpectInert(const std::string& out) {
    EXPECT_TRUE(testing::IsValidUtf8(out)) << out;
    for (const char c : out) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE((b >= 0x20 && b != 0x7F) || b == '\n') << "byte " << unsigned{b} << " in " << out;
    }
    for (const char* control : {"\u202A", "\u202B", "\u202C", "\u202D", "\u202E", "\u2066", "\u2067", "\u2068",
                                "\u2069", "\u200E", "\u200F", "\u061C", "\u009B", "\u0085"}) {
        EXPECT_EQ(out.find(control), std::string::npos) << out;
    }
}

TEST(CliProcess, HostileNamesReachTheTerminalInertAndAreJoinedRaw) {
    HostileDevice device;
    const auto serve = [&] { device.Serve(); };

    const CliRun table = Cli({"scan", "--port", device.Port(), "--timeout", "0.5"}, std::nullopt, serve);
    EXPECT_EQ(table.code, 0) << table.err;
    ExpectInert(table.out);
    std::string expected = "127.0.0.1 on lo: " + std::to_string(kHostile.size()) + " networks\n";
    for (std::size_t i = 0; i < kHostile.size(); ++i) {
        const bool plain = kHostile[i].shown == kHostile[i].ssid;  // else the bytes follow
        const std::string strength = std::to_string(HostileStrength(i));
        expected += std::string(5 - strength.size(), ' ') + strength + "%  " + kHostile[i].shown +
                    (plain ? "" : "  (" + Hex(testing::BytesOf(kHostile[i].ssid)) + ")") + "\n";
    }
    EXPECT_EQ(table.out, expected);  // one line each

    const CliRun json = Cli({"scan", "--json", "--port", device.Port(), "--timeout", "0.5"}, std::nullopt, serve);
    expected = "{\"devices\": [{\"address\": \"127.0.0.1\", \"interface\": \"lo\", \"networks\": [";
    for (std::size_t i = 0; i < kHostile.size(); ++i) {
        expected += std::string(i ? ", " : "") + "{\"ssid\": \"" + kHostile[i].json + "\", \"ssid_hex\": \"" +
                    Hex(testing::BytesOf(kHostile[i].ssid)) +
                    "\", \"strength\": " + std::to_string(HostileStrength(i)) + "}";
    }
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, expected + "], \"mac\": null, \"vendor\": null}], \"dropped\": 0}\n");
    ExpectInert(json.out);

    // By the shown name (after a scan) and by the bytes (without one): the
    // join request carries the bytes the device sent.
    const struct {
        std::vector<std::string> how;
        const HostileName& name;
    } joins[] = {
        {{"--ssid", kHostile[0].shown}, kHostile[0]},
        {{"--ssid", kHostile[6].shown}, kHostile[6]},
        {{"--ssid-hex", Hex(testing::BytesOf(kHostile[1].ssid))}, kHostile[1]},
    };
    for (const auto& j : joins) {
        device.join.clear();
        std::vector<std::string> args = {"join", "--port", device.Port(), "--key-file", "-", "--scan-timeout", "0.5",
                                          "--timeout", "1"};
        args.insert(args.end(), j.how.begin(), j.how.end());
        const CliRun run = Cli(args, "12345678\n", serve);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(device.join, testing::JoinRequest(testing::BytesOf(j.name.ssid), testing::BytesOf("12345678")));
        ExpectInert(run.out + run.err);
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
                  "network " + j.name.shown + " (" + Hex(testing::BytesOf(j.name.ssid)) + ")");
    }
}

// --verbose writes the wire log to standard error, the key as its length
// only unless --show-secrets is given.
TEST(CliProcess, WireLogHidesTheKeyUnlessAsked) {
    HostileDevice device;
    const std::string request = Hex(testing::JoinRequest(testing::BytesOf("AB"), testing::BytesOf("12345678")), ' ');
    const std::string sent = " sent - to 255.255.255.255:" + device.Port() + " 18 bytes: ";
    for (const bool show : {false, true}) {
        std::vector<std::string> args = {"join", "--ssid-hex", "4142", "--port", device.Port(), "--key-file", "-",
                                          "--timeout", "1", "--verbose"};
        if (show) args.push_back("--show-secrets");
        const CliRun run = Cli(args, "12345678\n", [&] { device.Serve(); });
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.err.find(sent + (show ? request : "ff 00 0e 02 00 41 42 0d 0a <key: 8 bytes> <checksum>") + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("31 32 33"), show ? run.err.find(request) + 27 : std::string::npos) << run.err;
        EXPECT_NE(run.err.find(" received lo from 127.0.0.1:" + device.Port() + " 7 bytes: ff 00 03 82 01 01 87\n"),
                  std::string::npos)
            << run.err;
    }
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A bench of devices that all answer each request at once: the burst waits
// whole in the tool's socket; over a link that loses one reply in twenty,
// the resent join request still gets every addressed device's result.
TEST(CliProcess, NoDeviceOfABurstOrOfALossyLinkIsLost) {
    {
        Devices bench({"--devices", "1000"});
        const CliRun scan = Cli({"scan", "--json", "--timeout", "3"});
        EXPECT_EQ(scan.code, 0) << scan.err;
        EXPECT_EQ(Count(scan.out, "{\"address\""), 1000);
        EXPECT_NE(scan.out.find("], \"mac\": null, \"vendor\": null}], \"dropped\": 0}\n"), std::string::npos)
            << scan.err;
        // Root may go past the system's cap on receive buffers: nothing to tell.
        EXPECT_EQ(Count(scan.err, "net.core.rmem_max"), 0) << scan.err;
        const CliRun join = Cli({"join", "--ssid", "HomeNet", "--key-file", "-", "--json", "--timeout", "3"}, "12345678");
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_EQ(Count(join.out, "\"verdict\": \"accepted\""), 1000);
    }
    {
        Devices lossy({"--devices", "100", "--loss", "0.05", "--seed", "25"});
        const CliRun join = Cli({"join", "--ssid", "HomeNet", "--key-file", "-", "--json"}, "12345678");
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_EQ(Count(join.out, "no_result"), 0) << join.out;
        // Those that answered no scan round were never addressed.
        EXPECT_GE(Count(join.out, "\"verdict\": \"accepted\""), 95);
    }
    // A user who may not go past the cap is told once how to raise it,
    // where it holds the buffer back. That user may not enter the build
    // tree: it runs a copy, and the sanitizers' suppressions (for Qt, which
    // the tool does not use) are left out.
    std::ifstream capFile("/proc/sys/net/core/rmem_max");
    long long cap = 0;
    if (geteuid() != 0 || !(capFile >> cap)) GTEST_SKIP() << "needs root to run as another user";
    char folder[] = "/tmp/mlv-cli-user-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::filesystem::path copy = std::filesystem::path(folder) / "melvorin-cli";
    std::filesystem::copy_file(MELVORIN_CLI_PATH, copy);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_exec);
    ChildProcess nobody("/usr/bin/setpriv",
                        {"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all", "--bounding-set=-all",
                         copy.string(), "scan", "--timeout", "0.3"},
                        ChildProcess::Output::Capture, {"LSAN_OPTIONS=", "TSAN_OPTIONS=halt_on_error=1:exitcode=66"});
    const int code = nobody.WaitExit(10000);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(code, 3) << nobody.Stderr();
    EXPECT_EQ(Count(nobody.Stderr(), "'sysctl -w net.core.rmem_max=4194304' (as root) raises the cap"),
              cap < 4194304 ? 1 : 0)
        << nobody.Stderr();
}

TEST(CliProcess, NoDeviceGivesThreeWhenTheTimeOutEnds) {
    const CliRun scan = Cli({"scan", "--json", "--timeout", "0.5"});
    EXPECT_EQ(scan.code, 3) << scan.err;
    EXPECT_EQ(scan.out, "{\"devices\": [], \"dropped\": 0}\n");
    const CliRun join = Cli({"join", "--ssid", "HomeNet", "--key-file", "-", "--scan-timeout", "0.5"}, "12345678");
    EXPECT_EQ(join.code, 3) << join.err;
}

TEST(CliProcess, BadInputGivesTwoAndSendsNothing) {
    UdpPeer device;
    ASSERT_TRUE(device.Bind("", 0));
    const std::string port = std::to_string(device.LocalPort());
    const std::string key(52, 'k');
    const std::string hex199(398, '4');  // 199 bytes of 0x44

    // 199 + 52 + 4 = 255 is the longest frame: sent, so the device would see
    // any request that the refused cases below let through.
    EXPECT_EQ(Cli({"join", "--port", port, "--ssid-hex", hex199, "--key-file", "-", "--timeout", "0.3"}, key).code, 3);
    const auto longest = device.Receive(2000);
    ASSERT_TRUE(longest.has_value());
    EXPECT_EQ(longest->data.size(), 259u);
    EXPECT_EQ(longest->data[2], 255);

    struct Refused {
        std::vector<std::string> args;
        std::string key;
        std::string message;
    };
    const std::vector<Refused> refused = {
        {{"join", "--port", port, "--ssid-hex", hex199 + "44", "--key-file", "-"}, key, "too long for one join request"},
        {{"join", "--port", port, "--ssid", std::string(200, 'N'), "--key-file", "-"}, key, "too long"},
        {{"join", "--port", port, "--ssid", "HomeNet", "--key-file", "-"}, "😀\n", "code page 936"},
        {{"join", "--port", port, "--ssid", "HomeNet", "--key-file", "-"}, "\n", "the key is empty"},
        {{"scan", "--port", "x"}, "", "'x' is not a valid integer value"},
        {{"scan", "--port", "70000"}, "", "Range check error"},
        {{"scan", "--port", port, "--bogus"}, "", "unknown argument"},
        {{"join", "--port", port, "--ssid", "HomeNet", "--device", "24:6f:28:00:00"}, "", "nor a hardware address"},
        // Whatever looks like a key, for any command; no value of an unknown option, nor a stray word, echoed.
        {{"join", "--port", port, "--ssid", "HomeNet", "--key", "Hunter2"}, "", "--key: the key is never taken"},
        {{"scan", "--passphrase=Hunter2"}, "", "--passphrase: the key is never taken from the command line"},
        {{"scan", "--psk", "Hunter2"}, "", "--psk: the key is never taken"},
        {{"--password=Hunter2", "scan"}, "", "--password: the key is never taken"},
        {{"scan", "--pass-phrase=Hunter2"}, "", "unknown argument \"--pass-phrase\" for scan"},
        {{"join", "--ssid", "HomeNet", "Hunter2"}, "", "unknown argument 4 for join"},
        {{"join", "--port", port, "--ssid-hex", "4142", "--unicast", "--key-file", "-"}, key, "give --device ADDRESS"},
    };
    for (const Refused& r : refused) {
        const CliRun run = Cli(r.args, r.key);
        const std::string& message = r.message;
        EXPECT_EQ(run.code, 2) << r.message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("never taken") == std::string::npos, run.err.find("--key-file FILE") == std::string::npos);
        EXPECT_EQ((run.out + run.err).find("Hunter2"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(device.Receive(300).has_value());
}

// A hidden network: joined by its name's UTF-8 bytes at every device that
// answered, though none lists it. Warnings for a key file others may read and
// for a key no WPA2 network takes; the join goes all the same, and after a
// refused key format the tool says what a WPA2 key is.
TEST(CliProcess, HiddenNetworkByNameAndHonestWarnings) {
    HostileDevice device;
    const CliRun hidden = Cli({"join", "--ssid", "Büro hidden", "--hidden", "--port", device.Port(), "--key-file", "-",
                               "--scan-timeout", "0.5", "--json"},
                              "12345678\n", [&] { device.Serve(); });
    EXPECT_EQ(hidden.code, 0) << hidden.err;
    EXPECT_EQ(device.join, testing::JoinRequest(testing::BytesOf("Büro hidden"), testing::BytesOf("12345678")));
    EXPECT_NE(hidden.out.find("\"results\": [" + Result("127.0.0.1", "accepted", "提交成功，请检查设备状态")),
              std::string::npos)
        << hidden.out;
    EXPECT_EQ(hidden.err, "");  // a WPA2 key from standard input: nothing to warn of

    Devices devices({"--devices", "1"});  // takes keys of 8 to 63 bytes only
    char keyPath[] = "/tmp/mlv-cli-key-XXXXXX";
    const int fd = mkstemp(keyPath);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345\n", 6), 6);
    fchmod(fd, 0640);
    close(fd);
    const CliRun weak = Cli({"join", "--ssid", "HomeNet", "--key-file", keyPath, "--scan-timeout", "0.5"});
    std::remove(keyPath);
    EXPECT_EQ(weak.code, 4) << weak.err;
    EXPECT_EQ(weak.err, "melvorin-cli: warning: the key file \"" + std::string(keyPath) +
                            "\" is readable by other users (its mode is 0640: its group may read it); keep a key where"
                            " only you can read it\n"
                            "melvorin-cli: warning: the key has 5 bytes (in code page 936, as devices receive it), and"
                            " a WPA2 network takes a key of 8 to 63 bytes, or of 64 hexadecimal digits; sending it all"
                            " the same\n"
                            "melvorin-cli: a device refused the key's format: a WPA2 network takes a key of 8 to 63"
                            " bytes, or of 64 hexadecimal digits, and this key has 5 bytes (in code page 936, as devices"
                            " receive it)\n");
    EXPECT_NE(weak.out.find("127.0.1.1 on lo: key_format"), std::string::npos) << weak.out;
    // Four characters, eight bytes as sent: a key WPA2 takes, no warning.
    const CliRun wide = Cli({"join", "--ssid", "HomeNet", "--key-file", "-", "--scan-timeout", "0.5"}, "密码密码\n");
    EXPECT_EQ(wide.code, 0) << wide.err;
    EXPECT_EQ(wide.err, "");
}

TEST(CliProcess, JoinRecordsALinePerDeviceAfterATornOneAndABadFileStopsItEarly) {
    Devices devices({"--devices", "2"});
    char path[] = "/tmp/mlv-cli-record-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "{\"torn", 6), 6);
    close(fd);
    const CliRun join = Cli({"join", "--ssid", "HomeNet", "--key-file", "-", "--scan-timeout", "0.5", "--record", path},
                            "12345678\n");
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    EXPECT_EQ(join.code, 0) << join.err;

    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    std::string version = Cli({"--version"}).out;
    version.pop_back();
    std::string expected = "{\"torn\n";
    for (const char* address : {"127.0.1.1", "127.0.1.2"}) {
        expected += std::string("{\"time\": \"T\", \"station\": \"") + host +
                    "\", \"interface\": \"lo\", \"address\": \"" + address +
                    "\", \"mac\": null, \"vendor\": null, \"ssid\": \"HomeNet\", \"ssid_hex\": \"486f6d654e6574\", "
                    "\"verdict\": \"accepted\", \"message\": \"提交成功，请检查设备状态\", \"program\": \"" +
                    version + "\", \"sealed\": false, \"online\": null}\n";
    }
    // The time aside, which is checked for its form.
    // Each "time" value has the form 2026-12-09T18:24:30.123Z; it is
    // replaced by "T" for the comparison.
    std::string timeless = text;
    const std::string key = "\"time\": \"";
    for (std::size_t at = timeless.find(key); at != std::string::npos; at = timeless.find(key, at + 1)) {
        const std::string value = timeless.substr(at + key.size(), 24);
        std::string shape = value;
        for (char& c : shape) c = std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
        EXPECT_EQ(shape, "9999-99-99T99:99:99.999Z") << value;
        timeless.replace(at + key.size(), 24, "T");
    }
    EXPECT_EQ(timeless, expected);

    // A file that cannot be opened: exit 1 before the scan is sent.
    UdpPeer device;
    ASSERT_TRUE(device.Bind("", 0));
    const CliRun bad = Cli({"join", "--port", std::to_string(device.LocalPort()), "--ssid", "HomeNet", "--key-file",
                            "-", "--record", "/nonexistent/units.jsonl"},
                           "12345678\n");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("cannot open the record file \"/nonexistent/units.jsonl\": No such file or directory"),
              std::string::npos)
        << bad.err;
    EXPECT_FALSE(device.Receive(300).has_value());
}

TEST(CliProcess, TakenPortTwelveThreeFourFiveGivesTheMessageAndOne) {
    UdpPeer window;
    ASSERT_TRUE(window.Bind("", 12345)) << "port 12345 is in use";
    const CliRun scan = Cli({"scan", "--timeout", "0.5"});
    EXPECT_EQ(scan.code, 1);
    EXPECT_NE(scan.err.find("port 12345"), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("another Melvorin may be running"), std::string::npos) << scan.err;
}

TEST(CliExitCode, DevicesThatDisagreeGiveTheFirstOfFourTenThree) {
    const auto code = [](std::vector<Verdict> verdicts) {
        std::vector<JoinReport> results;
        for (const Verdict v : verdicts) results.push_back({"", "", v, "", {}, {}, false, {}});
        return CombinedExitCode(results);
    };
    EXPECT_EQ(code({Verdict::Accepted, Verdict::NoResult, Verdict::SsidNotFound, Verdict::KeyFormat}), 4);
    EXPECT_EQ(code({Verdict::NoResult, Verdict::SsidNotFound, Verdict::Accepted}), 10);
    EXPECT_EQ(code({Verdict::Accepted, Verdict::NoResult}), 3);
    EXPECT_EQ(code({Verdict::Accepted, Verdict::Accepted}), 0);
}

}  // namespace
}  // namespace melvorin::cli
