// The real melvorin-devsim program over UDP on loopback (inside the test's
// private network namespace): it answers, refuses a taken port, stops
// cleanly on a signal and keeps a join request's key out of its log.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "child_process.h"
#include "devsim/device.h"
#include "devsim/options.h"
#include "protocol/scan.h"
#include "udp_peer.h"

namespace melvorin::devsim {
namespace {

using testing::UdpPeer;

std::uint16_t FreePort() {
    UdpPeer probe;
    return probe.Bind("", 0) ? probe.LocalPort() : 0;
}

// The program, its stdout and stderr captured.
class DevsimProcess : public testing::ChildProcess {
public:
    explicit DevsimProcess(const std::vector<std::string>& args) : ChildProcess(MELVORIN_DEVSIM_PATH, args) {}
};

std::string ReadyLine(std::uint16_t port, std::size_t networks) {
    return "melvorin-devsim: listening on port " + std::to_string(port) + " with " + std::to_string(networks) +
           " networks";
}

TEST(DevsimProcess, AnswersScanAndJoinFromUdpAndStopsOnSigterm) {
    const std::uint16_t port = FreePort();
    ASSERT_NE(port, 0);
    DevsimProcess dev({"--port", std::to_string(port), "--verbose"});
    ASSERT_TRUE(dev.Started());
    ASSERT_TRUE(dev.WaitForStderr(ReadyLine(port, 4))) << dev.Stderr();

    UdpPeer tool;
    ASSERT_TRUE(tool.Bind("127.0.0.1", 0));
    // Junk first, an empty datagram and one of the largest size: ignored, so
    // the first answer is the one to the scan.
    ASSERT_TRUE(tool.SendToLoopback({0x01, 0x02, 0x03}, port));
    ASSERT_TRUE(tool.SendToLoopback({}, port));
    ASSERT_TRUE(tool.SendToLoopback(TIdBytes(65507, 0xFF), port));
    ASSERT_TRUE(tool.SendToLoopback(BuildScanRequest(), port));
    const auto list = tool.Receive(5000);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(Hex(list->data, ' '), Hex(BuildListReply(ParseArgs({}).config), ' '));

    ASSERT_TRUE(tool.SendToLoopback(testing::JoinRequest(testing::BytesOf("HomeNet"), testing::BytesOf("password")), port));
    const auto result = tool.Receive(5000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(Hex(result->data, ' '), "ff 00 03 82 01 01 87");

    // With --verbose the ignored junk was logged in hex.
    EXPECT_TRUE(dev.WaitForStderr("ignored 3 bytes from 127.0.0.1:" + std::to_string(tool.LocalPort()) +
                                  ": 01 02 03"))
        << dev.Stderr();

    dev.Signal(SIGTERM);
    EXPECT_EQ(dev.WaitExit(), 0) << dev.Stderr();
}

TEST(DevsimProcess, SigintStopsItWithCodeZero) {
    const std::uint16_t port = FreePort();
    DevsimProcess dev({"--port", std::to_string(port), "--network", "Only:1"});
    ASSERT_TRUE(dev.WaitForStderr(ReadyLine(port, 1))) << dev.Stderr();
    dev.Signal(SIGINT);
    EXPECT_EQ(dev.WaitExit(), 0) << dev.Stderr();
}

TEST(DevsimProcess, TakenPortAndBadArgumentsExitWithCodeTwo) {
    UdpPeer holder;
    ASSERT_TRUE(holder.Bind("", 0));
    const std::uint16_t port = holder.LocalPort();
    DevsimProcess taken({"--port", std::to_string(port)});
    EXPECT_EQ(taken.WaitExit(), 2);
    EXPECT_NE(taken.Stderr().find("UDP port " + std::to_string(port) + " is already in use"), std::string::npos)
        << taken.Stderr();

    DevsimProcess bad({"--network", "no-strength"});
    EXPECT_EQ(bad.WaitExit(), 2);
    EXPECT_NE(bad.Stderr().find("has no strength"), std::string::npos) << bad.Stderr();

    DevsimProcess help({"--help"});
    EXPECT_EQ(help.WaitExit(), 0);
    EXPECT_NE(help.Stdout().find("Usage: melvorin-devsim"), std::string::npos);
}

TEST(DevsimProcess, ReplyBroadcastGoesToTheToolPort) {
    // The private namespace routes 255.255.255.255 to loopback, so the
    // broadcast reply arrives at a socket on port 12345.
    UdpPeer toolPort;
    ASSERT_TRUE(toolPort.Bind("", 12345)) << "port 12345 is in use";
    ASSERT_TRUE(toolPort.SetBroadcast());
    const std::uint16_t port = FreePort();
    DevsimProcess dev({"--port", std::to_string(port), "--reply-broadcast", "--network", "B:9"});
    ASSERT_TRUE(dev.WaitForStderr(ReadyLine(port, 1))) << dev.Stderr();

    UdpPeer other;
    ASSERT_TRUE(other.Bind("127.0.0.1", 0));
    ASSERT_TRUE(other.SendToLoopback(BuildScanRequest(), port));
    const auto reply = toolPort.Receive(5000);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(Hex(reply->data, ' '), Hex(BuildListReply(ParseArgs({"--network", "B:9"}).config), ' '));
    // Nothing went back to the sender itself.
    EXPECT_FALSE(other.Receive(200).has_value());
    dev.Signal(SIGTERM);
    EXPECT_EQ(dev.WaitExit(), 0);
}

// -v hides a join request's key as the station's log does, --show-secrets
// shows it; --key-file sets the one key accepted.
TEST(DevsimProcess, VerboseLogHidesTheKeyUnlessAskedAndTakesAKeyFile) {
    char keyPath[] = "/tmp/mlv-devsim-key-XXXXXX";
    const int fd = mkstemp(keyPath);
    ASSERT_TRUE(fd >= 0 && write(fd, "goodkey1\r\n", 10) == 10);
    close(fd);
    // Accepted without a key file, as any key of 8 to 63 bytes.
    const TIdBytes request = testing::JoinRequest(testing::BytesOf("HomeNet"), testing::BytesOf("otherkey"));
    for (const bool show : {false, true}) {
        const std::uint16_t port = FreePort();
        std::vector<std::string> args = {"--port", std::to_string(port), "-v", "--key-file", keyPath};
        if (show) args.push_back("--show-secrets");
        DevsimProcess dev(args);
        ASSERT_TRUE(dev.WaitForStderr(ReadyLine(port, 4))) << dev.Stderr();
        UdpPeer tool;
        ASSERT_TRUE(tool.Bind("127.0.0.1", 0) && tool.SendToLoopback(request, port));
        const auto result = tool.Receive(5000);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(Hex(result->data, ' '), Hex(BuildJoinResult(true, false), ' '));
        // Up to the key: the header, "HomeNet" and 0D 0A.
        const std::string masked = Hex(TIdBytes(request.begin(), request.begin() + 14), ' ') + " <key: 8 bytes> <checksum>";
        EXPECT_TRUE(dev.WaitForStderr("request from 127.0.0.1:" + std::to_string(tool.LocalPort()) + ": " +
                                      (show ? Hex(request, ' ') : masked) + "\n"))
            << dev.Stderr();
        dev.Signal(SIGTERM);
        EXPECT_EQ(dev.WaitExit(), 0);
        EXPECT_EQ(dev.Stderr().find("6f 74 68 65 72 6b 65 79") != std::string::npos, show) << dev.Stderr();
    }
    std::remove(keyPath);
}

}  // namespace
}  // namespace melvorin::devsim
