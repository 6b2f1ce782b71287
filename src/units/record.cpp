#include "units/record.h"

namespace melvorin::units {

namespace {

// Takes the lock, waiting at most kRecordLockSeconds, and lets go of it
// however Append leaves.
class Locked {
public:
    Locked(sys::FileHandle file, const std::string& path, const std::function<bool()>& stopRequested) : file_(file) {
        if (sys::LockFile(file_, std::chrono::seconds(kRecordLockSeconds), stopRequested)) return;
        if (stopRequested && stopRequested()) {
            throw RecordError("stopped while waiting for the lock of the record file \"" + path +
                              "\": the lines were not written");
        }
        throw RecordError("another melvorin-cli holds \"" + path + "\": its lock was not let go of within " +
                          std::to_string(kRecordLockSeconds) + " seconds, and the lines were not written");
    }
    ~Locked() { sys::UnlockFile(file_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    sys::FileHandle file_;
};

}  // namespace

std::string StationName() { return sys::HostName(); }

RecordFile::RecordFile(std::string path, std::function<bool()> stopRequested)
    : path_(std::move(path)), stopRequested_(std::move(stopRequested)) {
    try {
        file_ = sys::OpenForAppending(path_);
    } catch (const sys::RefusedPath& e) {
        throw RecordRefused("refusing the record file \"" + path_ + "\": " + e.what());
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
        const Locked lock(file_, path_, stopRequested_);
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
