#pragma once

// One way for tests (and the benchmarks) to start a program: posix_spawn,
// which, unlike fork, the thread sanitizer allows in a process with threads.
// Its stdout and stderr are captured through pipes, passed on, or dropped.
// A child still running when the object goes is killed and reaped.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace melvorin::testing {

class ChildProcess {
public:
    enum class Output { Capture, Inherit, Discard };

    // `environment`: "NAME=value" entries added to this process's own.
    // `input`, when given, is written to the child's standard input, which is
    // then closed; else the child shares this process's standard input.
    ChildProcess(const std::string& program, const std::vector<std::string>& args, Output output = Output::Capture,
                 const std::vector<std::string>& environment = {},
                 const std::optional<std::string>& input = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int signal);
    // True until the child has ended (and then it is reaped).
    bool Running();

    // Reads stderr until `text` shows up or the time runs out.
    bool WaitForStderr(const std::string& text, int timeoutMs = 10000);

    // Waits for the end, keeping the pipes drained and calling `meanwhile`
    // over and over (without it, polls every 20 ms). The exit code, or -1 for a signal or a time-out
    // (the child then still runs).
    int WaitExit(int timeoutMs = 10000, const std::function<void()>& meanwhile = {});

    // Reads what the child has written so far, without waiting.
    void Drain();

    const std::string& Stdout() const { return stdout_; }
    const std::string& Stderr() const { return stderr_; }

private:
    int ExitCode() const;

    pid_t pid_ = -1;
    std::optional<int> status_;
    int out_ = -1;
    int err_ = -1;
    std::string stdout_, stderr_;
};

}  // namespace melvorin::testing
