#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/key_owner.h"
#include "cli/options.h"
#include "cli/system.h"

namespace melvorin::cli::sys {

namespace {

// The terminal's settings before the prompt and while echo is off: the first
// restored when the user interrupts, quits or stops the prompt, the second
// set again when it goes on.
termios gSaved{};
termios gQuiet{};
volatile std::sig_atomic_t gEchoOff = 0;

void Handle(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // The read of the key goes on after a stop.
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

extern "C" void RestoreEchoAndDie(int sig) {
    if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Ctrl+Z: the terminal as it was, then stopped as the signal itself stops a
// program; caught again once it goes on.
extern "C" void RestoreEchoAndStop(int sig) {
    if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    std::raise(sig);
    // Stops here until SIGCONT, whose handler turns echo off again (and so
    // does this, where the system did not stop the program).
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    sigprocmask(SIG_BLOCK, &only, nullptr);
    Handle(sig, RestoreEchoAndStop);
    if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gQuiet);
}

extern "C" void EchoOffAgain(int) {
    if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gQuiet);
}

// Echo back on when the prompt ends, read or not.
struct EchoBack {
    ~EchoBack() {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
    }
};

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::string LocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool ReadLineWithoutEcho(KeyOwner& key) {
    const bool canHide = tcgetattr(STDIN_FILENO, &gSaved) == 0;
    if (canHide) {
        gQuiet = gSaved;
        gQuiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        gQuiet.c_lflag |= ECHONL;
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) Handle(sig, RestoreEchoAndDie);
        Handle(SIGTSTP, RestoreEchoAndStop);
        Handle(SIGCONT, EchoOffAgain);
        // Marked first: an interruption right after echo went off restores it
        // (restoring the saved settings early does no harm).
        gEchoOff = 1;
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &gQuiet) != 0) gEchoOff = 0;
    }
    if (!gEchoOff) throw UsageError("cannot turn off echo on the terminal; use --key-file FILE");
    const EchoBack echoBack;
    // Byte by byte: no buffer of the C library holds the key.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    return key.ReadLine(std::cin);
}

void KeepOutOfDumps() {
    // Also makes the program's /proc files root's, and refuses ptrace to the
    // same user. No core file either, where the system would write one of a
    // program that is not dumpable for root.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

std::string LocalAddressTowards(const std::string& address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return {};
    // Connecting a datagram socket only looks the route up; nothing is sent.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool routed = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
                        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0;
    close(fd);
    if (!routed) return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return text;
}

std::string ReadableByOthers(const std::string& path) {
    struct stat about {};
    if (stat(path.c_str(), &about) != 0 || (about.st_mode & (S_IRGRP | S_IROTH)) == 0) return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(about.st_mode & 07777));
    return std::string("its mode is ") + mode + ((about.st_mode & S_IROTH) != 0 ? ": every user" : ": its group") +
           " may read it";
}

namespace {
volatile std::sig_atomic_t gStopRequested = 0;
extern "C" void NoteStopRequest(int) { gStopRequested = 1; }
}  // namespace

void CatchStopRequests() {
    struct sigaction action {};
    action.sa_handler = NoteStopRequest;
    // A second one ends the program at once, whatever it waits for.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return gStopRequested != 0; }

}  // namespace melvorin::cli::sys
