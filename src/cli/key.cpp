#include "cli/key.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/options.h"
#include "cli/system.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"

namespace melvorin::cli {

namespace {

void StripLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

std::string AskWithoutEcho() {
    sys::Write(stderr, "Key: ");
    std::string line;
    if (!sys::ReadLineWithoutEcho(line)) throw UsageError("no key was typed");
    StripLineEnd(line);
    return line;
}

}  // namespace

std::string ReadKeyText(const std::optional<std::string>& keyFile) {
    std::string line;
    if (!keyFile) {
        if (!sys::InputIsTerminal()) {
            throw UsageError("no key: give --key-file FILE (- for standard input) or run on a terminal");
        }
        return AskWithoutEcho();
    }
    if (*keyFile == "-") {
        if (!std::getline(std::cin, line)) throw UsageError("no key on standard input");
    } else {
        // The name is UTF-8 on every system.
        const std::u8string name(keyFile->begin(), keyFile->end());
        std::ifstream in(std::filesystem::path(name), std::ios::binary);
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
