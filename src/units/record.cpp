#include "units/record.h"

namespace melvorin::units {

namespace {

// Lets go of the lock however Append leaves.
class Locked {
public:
    explicit Locked(sys::FileHandle file) : file_(file) { sys::LockFile(file_); }
    ~Locked() { sys::UnlockFile(file_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    sys::FileHandle file_;
};

}  // namespace

std::string StationName() { return sys::HostName(); }

RecordFile::RecordFile(std::string path) : path_(std::move(path)) {
    try {
        file_ = sys::OpenForAppending(path_);
    } catch (const sys::SystemError& e) {
        throw RecordError("cannot open the record file \"" + path_ + "\": " + e.what());
    }
}

RecordFile::~RecordFile() { sys::CloseFile(file_); }

void RecordFile::Append(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (line.find('\n') != std::string::npos) throw std::invalid_argument("a record line holds a line break");
    }
    if (lines.empty()) return;
    try {
        const Locked lock(file_);
        const std::optional<char> last = sys::LastByte(file_);
        std::string bytes = last && *last != '\n' ? "\n" : "";
        for (const std::string& line : lines) {
            bytes += line;
            bytes += '\n';
            sys::Append(file_, bytes);
            bytes.clear();
        }
        sys::Sync(file_);
    } catch (const sys::SystemError& e) {
        throw RecordError("cannot write to the record file \"" + path_ + "\": " + e.what());
    }
}

}  // namespace melvorin::units
