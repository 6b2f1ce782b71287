#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace melvorin::testing {

namespace {

using Clock = std::chrono::steady_clock;

bool ReadSome(int fd, std::string& into, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (fd < 0 || poll(&p, 1, timeoutMs) != 1) return false;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::optional<std::string>& input) {
    int err[2], out[2], in[2];
    if (pipe2(err, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(err[1], 2);
        dup2(out[1], 1);
        if (input) {
            dup2(in[0], 0);
        } else {
            const int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
        }
        std::vector<std::string> copy = args;
        std::string prog = program;
        std::vector<char*> argv{prog.data()};
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err[1]);
    close(out[1]);
    close(in[0]);
    // Short texts only: they fit in the pipe, so this never blocks.
    if (input && !input->empty()) {
        [[maybe_unused]] const ssize_t written = write(in[1], input->data(), input->size());
    }
    close(in[1]);
    err_ = err[0];
    out_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (err_ >= 0) close(err_);
    if (out_ >= 0) close(out_);
}

bool ChildProcess::WaitForStderr(const std::string& text, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (stderr_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0 || !ReadSome(err_, stderr_, static_cast<int>(left))) return false;
    }
    return true;
}

int ChildProcess::WaitExit(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            reaped_ = true;
            while (ReadSome(err_, stderr_, 0)) {
            }
            while (ReadSome(out_, stdout_, 0)) {
            }
            return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
        // Keep the pipes drained so that a chatty child never blocks.
        ReadSome(err_, stderr_, 20);
        ReadSome(out_, stdout_, 0);
    }
    return -1;
}

void ChildProcess::Signal(int sig) {
    if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

}  // namespace melvorin::testing
