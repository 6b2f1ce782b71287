#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

std::string StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // XDG's base directory rules: a relative path is to be ignored.
    if (state != nullptr && state[0] == '/') return std::string(state) + "/melvorin";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') throw SystemError("neither XDG_STATE_HOME nor HOME names a folder");
    return std::string(home) + "/.local/state/melvorin";
}

void MakeFolders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) Raise();
    }
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

FileHandle OpenForAppending(const std::string& path) {
    // Never through a link planted where the file is to be: the lines would
    // go, with this user's rights, to wherever it points.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    struct stat about {};
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP && ::lstat(path.c_str(), &about) == 0 && S_ISLNK(about.st_mode)) {
            throw RefusedPath("it is a symbolic link");
        }
        errno = error;
        Raise();
    }
    if (::fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
        const int error = S_ISDIR(about.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        Raise();
    }
    // Root appending to a file another user may replace or read at will.
    if (::geteuid() == 0 && about.st_uid != 0) {
        ::close(fd);
        throw RefusedPath("it belongs to another user (uid " + std::to_string(about.st_uid) +
                          "), and this program runs as root");
    }
    return fd;
}

void CloseFile(FileHandle file) noexcept { ::close(Fd(file)); }

namespace {
extern "C" void Wake(int) {}
}  // namespace

bool LockFile(FileHandle file, std::chrono::milliseconds wait, const std::function<bool()>& stop) {
    if (::flock(Fd(file), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) Raise();
    // A blocked flock cannot time out: a timer of this thread interrupts it
    // every tenth of a second to look at the clock and the stop request. The
    // waiters stay in the kernel's queue, so a program appending line after
    // line does not starve another.
    const int signal = SIGRTMIN + 3;
    struct sigaction action {};
    action.sa_handler = Wake;  // no SA_RESTART: the wait is interrupted
    sigemptyset(&action.sa_mask);
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = ::gettid();  // sigev_notify_thread_id, which glibc 2.36 does not name
    timer_t timer{};
    if (::sigaction(signal, &action, nullptr) != 0 || ::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) Raise();
    const itimerspec every{{0, 100'000'000}, {0, 100'000'000}};
    ::timer_settime(timer, 0, &every, nullptr);
    const auto end = std::chrono::steady_clock::now() + wait;
    int error = 0;
    for (;;) {
        if (::flock(Fd(file), LOCK_EX) == 0) break;
        error = errno;
        if (error != EINTR || (stop && stop()) || std::chrono::steady_clock::now() >= end) break;
        error = 0;
    }
    ::timer_delete(timer);
    if (error != 0 && error != EINTR) {
        errno = error;
        Raise();
    }
    return error == 0;
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
