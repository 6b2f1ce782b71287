#include "cli/key.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/options.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"

namespace melvorin::cli {

namespace {

void StripLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

// The terminal's settings while echo is off, restored also when the user
// interrupts the prompt.
termios gSaved{};
volatile std::sig_atomic_t gEchoOff = 0;

void RestoreEchoAndDie(int sig) {
    if (gEchoOff) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::string AskWithoutEcho() {
    std::fputs("Key: ", stderr);
    std::fflush(stderr);
    termios quiet{};
    const bool canHide = tcgetattr(STDIN_FILENO, &gSaved) == 0;
    if (canHide) {
        quiet = gSaved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::signal(SIGINT, RestoreEchoAndDie);
        std::signal(SIGTERM, RestoreEchoAndDie);
        std::signal(SIGHUP, RestoreEchoAndDie);
        // Marked first: an interruption right after echo went off restores it
        // (restoring the saved settings early does no harm).
        gEchoOff = 1;
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) gEchoOff = 0;
    }
    if (!gEchoOff) throw UsageError("cannot turn off echo on the terminal; use --key-file FILE");
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
    gEchoOff = 0;
    if (!got) throw UsageError("no key was typed");
    StripLineEnd(line);
    return line;
}

}  // namespace

std::string ReadKeyText(const std::optional<std::string>& keyFile) {
    std::string line;
    if (!keyFile) {
        if (!isatty(STDIN_FILENO)) {
            throw UsageError("no key: give --key-file FILE (- for standard input) or run on a terminal");
        }
        return AskWithoutEcho();
    }
    if (*keyFile == "-") {
        if (!std::getline(std::cin, line)) throw UsageError("no key on standard input");
    } else {
        std::ifstream in(*keyFile, std::ios::binary);
        if (!in) throw UsageError("cannot read the key file \"" + *keyFile + "\"");
        if (!std::getline(in, line)) throw UsageError("the key file \"" + *keyFile + "\" is empty");
    }
    StripLineEnd(line);
    return line;
}

TIdBytes EncodeKey(const std::string& text) {
    if (text.empty()) throw UsageError("the key is empty");
    try {
        return TextToCp936(text);
    } catch (const Exception& e) {
        throw UsageError("the key cannot be written in code page 936, as devices receive it: " + e.Message());
    }
}

}  // namespace melvorin::cli
