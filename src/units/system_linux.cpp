#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "units/system.h"

namespace melvorin::units::sys {

namespace {

[[noreturn]] void Raise() { throw SystemError(std::strerror(errno)); }

int Fd(FileHandle file) { return static_cast<int>(file); }

constexpr std::size_t kHugePage = 2 << 20;
constexpr std::size_t kInHugePages = 256 << 10;

std::size_t InHugePages(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

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

void* AllocateTable(std::size_t bytes) {
    if (bytes < kInHugePages) {
        void* at = std::malloc(bytes);
        if (at == nullptr) throw std::bad_alloc();
        return at;
    }
    if (bytes > SIZE_MAX / 4) throw std::bad_alloc();
    // A huge page must start on a boundary of its size: more is mapped, and
    // what lies outside the aligned block is given back.
    const std::size_t size = InHugePages(bytes);
    void* mapped = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        // Huge pages are a wish: without room for their alignment, small ones.
        mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        return mapped;
    }
    char* const first = static_cast<char*>(mapped);
    char* const at = first + (kHugePage - reinterpret_cast<std::uintptr_t>(first) % kHugePage) % kHugePage;
    if (at != first) ::munmap(first, static_cast<std::size_t>(at - first));
    ::munmap(at + size, static_cast<std::size_t>(first + kHugePage - at));
    ::madvise(at, size, MADV_HUGEPAGE);  // a wish: without it, small pages
    return at;
}

void FreeTable(void* at, std::size_t bytes) noexcept {
    if (bytes < kInHugePages) {
        std::free(at);
    } else {
        ::munmap(at, InHugePages(bytes));
    }
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
