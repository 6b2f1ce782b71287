#include "cli/key.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli/options.h"
#include "cli/system.h"

namespace melvorin::cli {

namespace {

void AskWithoutEcho(KeyOwner& key) {
    sys::Write(stderr, "Key: ");
    if (!sys::ReadLineWithoutEcho(key)) throw UsageError("no key was typed");
}

}  // namespace

void ReadKey(const std::optional<std::string>& keyFile, KeyOwner& key) {
    if (!keyFile) {
        if (!sys::InputIsTerminal()) {
            throw UsageError("no key: give --key-file FILE (- for standard input) or run on a terminal");
        }
        AskWithoutEcho(key);
    } else if (*keyFile == "-") {
        // Byte by byte: no buffer of the C library holds the key or what follows it.
        std::setvbuf(stdin, nullptr, _IONBF, 0);
        if (!key.ReadLine(std::cin)) throw UsageError("no key on standard input");
    } else {
        std::ifstream in;
        in.rdbuf()->pubsetbuf(nullptr, 0);
        // The name is UTF-8 on every system.
        const std::u8string name(keyFile->begin(), keyFile->end());
        in.open(std::filesystem::path(name), std::ios::binary);
        if (!in) throw UsageError("cannot read the key file \"" + *keyFile + "\"");
        if (!key.ReadLine(in)) throw UsageError("the key file \"" + *keyFile + "\" is empty");
    }
    key.Encode();
}

}  // namespace melvorin::cli
