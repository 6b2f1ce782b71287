#pragma once

// A record file that several programs append lines to: each line goes in
// with one write at the file's end while the program holds the file's lock,
// starts on a line of its own even after a line torn by a killed run, and is
// on disk before Append returns. A symbolic link is never followed.

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "units/system.h"

namespace melvorin::units {

// What went wrong, with the file's name and the system's reason.
class RecordError : public std::runtime_error {
public:
    explicit RecordError(const std::string& message) : std::runtime_error(message) {}
};

// A path refused before anything is written: a symbolic link, or, for root,
// another user's file ("refusing the record file \"PATH\": REASON").
class RecordRefused : public RecordError {
public:
    using RecordError::RecordError;
};

// How long Append waits for another program to let go of the file's lock.
inline constexpr int kRecordLockSeconds = 5;

// The name of the station the lines are written on: its host name, "" when
// the system cannot tell.
std::string StationName();

class RecordFile {
public:
    // Opens `path` for appending, creating it when missing. Raises
    // RecordRefused, or RecordError ("cannot open the record file \"PATH\":
    // REASON"). `stopRequested`, when given, ends a wait for the lock.
    explicit RecordFile(std::string path, std::function<bool()> stopRequested = {});
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Appends each line (without its '\n', none inside) as one write, all
    // under one lock; when the file does not end with '\n', the first write
    // starts with one. Then waits until they are on disk. Raises RecordError
    // ("cannot write to the record file \"PATH\": REASON"), also when the lock
    // is not had within kRecordLockSeconds ("another melvorin-cli holds
    // \"PATH\" ...") or a stop is requested while waiting for it.
    void Append(const std::vector<std::string>& lines);

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::function<bool()> stopRequested_;
    sys::FileHandle file_;
};

}  // namespace melvorin::units
