// The real melvorin-cli against melvorin-devsim playing several devices, each
// with an address of its own on loopback (in the test's private namespace).

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "cli/report.h"
#include "udp_peer.h"

namespace melvorin::cli {
namespace {

using testing::ChildProcess;
using testing::UdpPeer;

// 办公室WiFi in code page 936, as melvorin-devsim sends it.
constexpr const char* kOffice = "办公室WiFi";
constexpr const char* kOfficeHex = "b0ecb9abcad257694669";

struct CliRun {
    int code;
    std::string out, err;
};

CliRun Cli(const std::vector<std::string>& args, const std::optional<std::string>& input = std::nullopt,
           const std::vector<std::string>& env = {}) {
    ChildProcess cli(MELVORIN_CLI_PATH, args, ChildProcess::Output::Capture, env, input);
    const int code = cli.WaitExit(30000);
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
           "\", \"message\": \"" + message + "\"}";
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
                    "73}, {\"ssid\": \"a\\\"b\\\\c\", \"ssid_hex\": \"6122625c63\", \"strength\": 5}]}";
    }
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, expected + "]}\n");

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
                           Result("127.0.2.1", "key_format", "密码格式有误，请重新输入") + "], \"exit_code\": 4}\n");

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
                           "], \"exit_code\": 0}\n");

    // Raw bytes that the device does not see: its result says so.
    CliRun wrong = Cli({"join", "--ssid-hex", "4142", "--device", "127.0.1.2", "--key-file", "-", "--json"}, "12345678");
    EXPECT_EQ(wrong.code, 10) << wrong.err;
    EXPECT_NE(wrong.out.find("\"verdict\": \"ssid_not_found\", \"message\": \"SSID出错了，请重获SSID\""),
              std::string::npos)
        << wrong.out;

    // A network no device offers, and a device that is not there.
    CliRun missing = Cli({"join", "--ssid", "Nope", "--key-file", "-", "--json", "--scan-timeout", "0.5"}, "12345678");
    EXPECT_EQ(missing.code, 10) << missing.err;
    EXPECT_EQ(missing.out, "{\"ssid\": \"Nope\", \"ssid_hex\": \"\", \"results\": [], \"exit_code\": 10}\n");
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
        const CliRun scan = Cli({"scan", "--timeout", "0.5"}, std::nullopt, {"LANG=" + lang, "LC_ALL=", "LC_MESSAGES="});
        EXPECT_EQ(scan.code, 0) << scan.err;
        EXPECT_NE(scan.out.find(lang[0] == 'z' ? "60%  3楼WiFi\n" : "60%  3¥WiFi\n"), std::string::npos) << scan.out;
    }
    for (const char* name : {"3楼WiFi", "3¥WiFi"}) {
        const CliRun join = Cli({"join", "--ssid", name, "--key-file", "-", "--scan-timeout", "0.5"}, "12345678\n",
                                {"LC_ALL=C.UTF-8"});
        EXPECT_EQ(join.code, 0) << join.err;
        EXPECT_NE(join.out.find("(33c2a557694669)\n127.0.1.1 on lo: accepted"), std::string::npos) << join.out;
    }
}

TEST(CliProcess, NoDeviceGivesThreeWhenTheTimeOutEnds) {
    const CliRun scan = Cli({"scan", "--json", "--timeout", "0.5"});
    EXPECT_EQ(scan.code, 3) << scan.err;
    EXPECT_EQ(scan.out, "{\"devices\": []}\n");
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
        {{"join", "--port", port, "--ssid", "HomeNet", "--key", "secret"}, "", "never taken from the command line"},
    };
    for (const Refused& r : refused) {
        const CliRun run = Cli(r.args, r.key);
        const std::string& message = r.message;
        EXPECT_EQ(run.code, 2) << r.message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
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
        for (const Verdict v : verdicts) results.push_back({"", "", v, ""});
        return CombinedExitCode(results);
    };
    EXPECT_EQ(code({Verdict::Accepted, Verdict::NoResult, Verdict::SsidNotFound, Verdict::KeyFormat}), 4);
    EXPECT_EQ(code({Verdict::NoResult, Verdict::SsidNotFound, Verdict::Accepted}), 10);
    EXPECT_EQ(code({Verdict::Accepted, Verdict::NoResult}), 3);
    EXPECT_EQ(code({Verdict::Accepted, Verdict::Accepted}), 0);
}

}  // namespace
}  // namespace melvorin::cli
