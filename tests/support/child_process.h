#pragma once

// A program of ours run by a test: its standard output and error read
// through pipes, optionally a text fed to its standard input.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace melvorin::testing {

class ChildProcess {
public:
    // Starts `program` with `args`; `input`, when given, is written to its
    // standard input, which is then closed (else standard input is
    // /dev/null).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::optional<std::string>& input = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Reads standard error until `text` shows up or the time runs out.
    bool WaitForStderr(const std::string& text, int timeoutMs = 10000);
    // Exit code, or -1 for a signal or a time-out (then it is killed).
    int WaitExit(int timeoutMs = 10000);
    void Signal(int sig);
    const std::string& Stderr() const { return stderr_; }
    const std::string& Stdout() const { return stdout_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int err_ = -1;
    int out_ = -1;
    std::string stderr_, stdout_;
};

}  // namespace melvorin::testing
