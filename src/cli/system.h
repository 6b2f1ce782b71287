#pragma once

// What the command-line tool needs of the operating system: its arguments,
// its output, the terminal for the key, and the route to a device.
// system_linux.cpp and system_windows.cpp implement it.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace melvorin::cli {
class KeyOwner;
}  // namespace melvorin::cli

namespace melvorin::cli::sys {

// The program's arguments after its name, as UTF-8.
std::vector<std::string> Arguments(int argc, char** argv);

// The user's locale name ("zh_CN.UTF-8"): the first of LC_ALL, LC_MESSAGES
// and LANG that is set; on Windows without them, the user's locale ("zh-CN").
// "" when none is known.
std::string LocaleName();

// Writes UTF-8 text to standard output or standard error: the bytes as they
// are to a file or pipe, the characters as such to a console.
void Write(std::FILE* stream, const std::string& text);

// True when standard input is a terminal (a console).
bool InputIsTerminal();

// One line typed at the terminal with echo off, read into `key`; echo back
// on afterwards, also when the user interrupts or quits, and while the
// program is stopped (Ctrl+Z), off again when it goes on. Raises UsageError
// when echo cannot be turned off or the line is too long; false when no line
// could be read.
bool ReadLineWithoutEcho(KeyOwner& key);

// From now on the program's memory stays out of core dumps, and other
// programs of the same user cannot read it or trace the program (Linux);
// a crash is not handed to Windows Error Reporting (Windows). It cannot be
// undone.
void KeepOutOfDumps();

// The local IPv4 address (dotted) the route to `address` leaves from; ""
// when there is none. Nothing is sent.
std::string LocalAddressTowards(const std::string& address);

// Who besides its owner (and the system's administrators) may read the file
// `path` (UTF-8), as a clause for a warning ("its mode is 0644"); "" when
// nobody else may, or when that cannot be read.
std::string ReadableByOthers(const std::string& path);

// From now on the first SIGINT or SIGTERM (Ctrl+C, Ctrl+Break and closing the
// console on Windows) no longer ends the program: StopRequested() tells it
// came. A second one ends it as before.
void CatchStopRequests();
bool StopRequested();

}  // namespace melvorin::cli::sys
