#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "units/system.h"

namespace melvorin::units::sys {

namespace {

[[noreturn]] void Raise() { throw SystemError(std::strerror(errno)); }

int Fd(FileHandle file) { return static_cast<int>(file); }

}  // namespace

std::optional<FileHandle> OpenForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return fd;
}

long ReadSome(FileHandle file, char* into, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(Fd(file), into, size);
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}

std::uint64_t SizeOf(FileHandle file) {
    struct stat about {};
    if (::fstat(Fd(file), &about) != 0 || about.st_size < 0) return 0;
    return static_cast<std::uint64_t>(about.st_size);
}

std::string RegistryFolder() { return "/usr/share/ieee-data"; }

std::string InFolder(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

FileHandle OpenForAppending(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) Raise();
    struct stat about {};
    if (::fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
        const int error = S_ISDIR(about.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        Raise();
    }
    return fd;
}

void CloseFile(FileHandle file) noexcept { ::close(Fd(file)); }

void LockFile(FileHandle file) {
    while (::flock(Fd(file), LOCK_EX) != 0) {
        if (errno != EINTR) Raise();
    }
}

void UnlockFile(FileHandle file) noexcept { ::flock(Fd(file), LOCK_UN); }

std::optional<char> LastByte(FileHandle file) {
    struct stat about {};
    if (::fstat(Fd(file), &about) != 0) Raise();
    if (about.st_size == 0) return std::nullopt;
    char last = 0;
    const ssize_t got = ::pread(Fd(file), &last, 1, about.st_size - 1);
    if (got < 0) Raise();
    if (got != 1) {
        errno = EIO;
        Raise();
    }
    return last;
}

void Append(FileHandle file, std::string_view bytes) {
    for (;;) {
        const ssize_t wrote = ::write(Fd(file), bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) Raise();
        if (static_cast<std::size_t>(wrote) != bytes.size()) {
            errno = ENOSPC;
            Raise();
        }
        return;
    }
}

void Sync(FileHandle file) {
    if (::fsync(Fd(file)) != 0) Raise();
}

}  // namespace melvorin::units::sys
