#pragma once

// A record file that several programs append lines to: each line goes in
// with one write at the file's end while the program holds the file's lock,
// starts on a line of its own even after a line torn by a killed run, and is
// on disk before Append returns.

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

// The name of the station the lines are written on: its host name, "" when
// the system cannot tell.
std::string StationName();

class RecordFile {
public:
    // Opens `path` for appending, creating it when missing. Raises
    // RecordError ("cannot open the record file \"PATH\": REASON").
    explicit RecordFile(std::string path);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Appends each line (without its '\n', none inside) as one write, all
    // under one lock; when the file does not end with '\n', the first write
    // starts with one. Then waits until they are on disk. Raises RecordError
    // ("cannot write to the record file \"PATH\": REASON").
    void Append(const std::vector<std::string>& lines);

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    sys::FileHandle file_;
};

}  // namespace melvorin::units
