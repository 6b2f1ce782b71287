#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char** environ;

namespace melvorin::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Appends what `fd` has within timeoutMs; false when nothing came. At the
// end of the stream `fd` is closed and set to -1.
bool ReadSome(int& fd, std::string& into, int timeoutMs) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return false;
    // A full pipe in one read, so that a child writing much output is not
    // held up by a caller that reads between other work.
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        ::close(fd);
        fd = -1;
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

int MillisecondsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, Output output,
                           const std::vector<std::string>& environment, const std::optional<std::string>& input) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    std::vector<std::string> added = environment;
    std::vector<char*> envp;
    for (std::string& e : added) envp.push_back(e.data());
    for (char** e = environ; *e != nullptr; ++e) {
        bool replaced = false;
        for (const std::string& a : added) {
            const std::size_t name = a.find('=') + 1;
            replaced = replaced || std::strncmp(*e, a.c_str(), name) == 0;
        }
        if (!replaced) envp.push_back(*e);
    }
    envp.push_back(nullptr);

    int out[2] = {-1, -1}, err[2] = {-1, -1}, in[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input && ::pipe2(in, O_CLOEXEC) == 0) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (output == Output::Capture) {
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            for (const int fd : {out[0], out[1], err[0], err[1], in[0], in[1]}) {
                if (fd >= 0) ::close(fd);
            }
            posix_spawn_file_actions_destroy(&actions);
            return;
        }
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    } else if (output == Output::Discard) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (output == Output::Capture) {
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    if (in[0] >= 0) {
        ::close(in[0]);
        // Short texts only: they fit in the pipe, so this never blocks.
        if (rc == 0 && !input->empty()) {
            [[maybe_unused]] const ssize_t written = ::write(in[1], input->data(), input->size());
        }
        ::close(in[1]);
    }
    if (rc == 0) pid_ = pid;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = status;
    return false;
}

bool ChildProcess::WaitForStderr(const std::string& text, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (stderr_.find(text) == std::string::npos) {
        const int left = MillisecondsLeft(end);
        if (left == 0 || !ReadSome(err_, stderr_, left)) return false;
    }
    return true;
}

void ChildProcess::Drain() {
    while (ReadSome(out_, stdout_, 0)) {
    }
    while (ReadSome(err_, stderr_, 0)) {
    }
}

int ChildProcess::ExitCode() const {
    return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
}

int ChildProcess::WaitExit(int timeoutMs, const std::function<void()>& meanwhile) {
    if (pid_ <= 0) return -1;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (MillisecondsLeft(end) == 0) return -1;
        // Keeps the pipes drained, so that a chatty child never blocks; with
        // `meanwhile` (an event loop, say) nothing here waits.
        const int waitMs = meanwhile ? 0 : 20;
        if (err_ >= 0) {
            ReadSome(err_, stderr_, waitMs);
        } else if (waitMs > 0) {
            ::usleep(waitMs * 1000);
        }
        ReadSome(out_, stdout_, 0);
        if (meanwhile) meanwhile();
    }
    while (ReadSome(err_, stderr_, 0)) {
    }
    while (ReadSome(out_, stdout_, 0)) {
    }
    return ExitCode();
}

}  // namespace melvorin::testing
