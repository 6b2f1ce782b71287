// The real melvorin-devsim program over UDP on loopback (inside the test's
// private network namespace): it answers, refuses a taken port and stops
// cleanly on a signal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/options.h"
#include "protocol/scan.h"
#include "udp_peer.h"

namespace melvorin::devsim {
namespace {

using Clock = std::chrono::steady_clock;

using testing::UdpPeer;

std::uint16_t FreePort() {
    UdpPeer probe;
    return probe.Bind("", 0) ? probe.LocalPort() : 0;
}

// A file descriptor of the test, closed on the way out.
class Fd {
public:
    ~Fd() { Reset(); }
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// The program, its stdout and stderr read through pipes.
class DevsimProcess {
public:
    explicit DevsimProcess(const std::vector<std::string>& args) {
        int err[2], out[2];
        if (pipe2(err, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(err[1], 2);
            dup2(out[1], 1);
            std::vector<char*> argv;
            std::string prog = MELVORIN_DEVSIM_PATH;
            argv.push_back(prog.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(err[1]);
        close(out[1]);
        err_.Reset(err[0]);
        out_.Reset(out[0]);
    }
    ~DevsimProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Reads stderr until `text` shows up or the time runs out.
    bool WaitForStderr(const std::string& text, int timeoutMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (stderr_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || !ReadSome(err_.get(), stderr_, static_cast<int>(left))) return false;
        }
        return true;
    }

    // Exit code, or -1 for a signal or a time-out (then it is killed).
    int WaitExit(int timeoutMs = 10000) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            int st = 0;
            if (waitpid(pid_, &st, WNOHANG) == pid_) {
                status_ = st;
                while (ReadSome(err_.get(), stderr_, 0)) {
                }
                while (ReadSome(out_.get(), stdout_, 0)) {
                }
                return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            }
            // Keep the pipes drained so that a chatty child never blocks.
            ReadSome(err_.get(), stderr_, 20);
            ReadSome(out_.get(), stdout_, 0);
        }
        return -1;
    }

    void Signal(int sig) { kill(pid_, sig); }
    bool Started() const { return pid_ > 0; }
    const std::string& Stderr() const { return stderr_; }
    const std::string& Stdout() const { return stdout_; }

private:
    static bool ReadSome(int fd, std::string& into, int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1) return false;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
    Fd err_, out_;
    std::string stderr_, stdout_;
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
    EXPECT_EQ(Hex(list->data), Hex(BuildListReply(ParseArgs({}).config)));

    ASSERT_TRUE(tool.SendToLoopback(testing::JoinRequest(testing::BytesOf("HomeNet"), testing::BytesOf("password")), port));
    const auto result = tool.Receive(5000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(Hex(result->data), "ff 00 03 82 01 01 87");

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
    EXPECT_EQ(Hex(reply->data), Hex(BuildListReply(ParseArgs({"--network", "B:9"}).config)));
    // Nothing went back to the sender itself.
    EXPECT_FALSE(other.Receive(200).has_value());
    dev.Signal(SIGTERM);
    EXPECT_EQ(dev.WaitExit(), 0);
}

}  // namespace
}  // namespace melvorin::devsim
