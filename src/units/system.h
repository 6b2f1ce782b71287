#pragma once

// What the units library needs of the operating system: reading the
// registries, where they are, the station's name, and a file that lines are
// appended to under a lock. system_linux.cpp and system_windows.cpp
// implement it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace melvorin::units::sys {

// A call to the system failed; what() is the system's own text for it.
class SystemError : public std::runtime_error {
public:
    explicit SystemError(const std::string& message) : std::runtime_error(message) {}
};

// The path names what a record must not be written through: a symbolic link
// (a reparse point on Windows), or, for root, another user's file. what() is
// why ("it is a symbolic link").
class RefusedPath : public SystemError {
public:
    using SystemError::SystemError;
};

// A file opened for reading; nothing when it cannot be opened. `path` is
// UTF-8.
using FileHandle = std::intptr_t;
std::optional<FileHandle> OpenForReading(const std::string& path);
// Up to `size` bytes of it into `into`: how many, 0 at its end, -1 when it
// cannot be read.
long ReadSome(FileHandle file, char* into, std::size_t size);
// Its size in bytes; 0 when the system cannot tell.
std::uint64_t SizeOf(FileHandle file);

// Memory for the makers' table, not yet touched. On Linux a block of
// 256 KiB or more is asked for in huge pages, where the system offers them:
// a virtual machine can take some 10 µs to give a process a small page the
// first time it is touched, and the table would take hundreds; small pages
// where the system has no room for them. Raises std::bad_alloc.
void* AllocateTable(std::size_t bytes);
void FreeTable(void* at, std::size_t bytes) noexcept;

// The same for standard containers.
template <class T>
struct TableAllocator {
    using value_type = T;
    TableAllocator() = default;
    template <class U>
    TableAllocator(const TableAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateTable(n * sizeof(T))); }
    void deallocate(T* at, std::size_t n) noexcept { FreeTable(at, n * sizeof(T)); }
    template <class U>
    bool operator==(const TableAllocator<U>&) const { return true; }
};

// The folder of the registries' CSV files: /usr/share/ieee-data on Linux,
// the program's own folder on Windows. Ends without a separator.
std::string RegistryFolder();

// Joins a folder and a file name with the system's separator.
std::string InFolder(const std::string& folder, const std::string& name);

// The user's folder for state kept between runs, with "melvorin" in it:
// $XDG_STATE_HOME/melvorin (~/.local/state/melvorin when unset) on Linux,
// %LOCALAPPDATA%\melvorin on Windows. Raises SystemError when the system
// names no home for the user.
std::string StateFolder();
// Makes `folder` and the folders above it that are missing, each readable
// by its owner alone. Raises SystemError.
void MakeFolders(const std::string& folder);

// This computer's host name, as UTF-8; "" when the system cannot tell.
std::string HostName();

// A file opened for appending (and reading its end), created when missing
// (read and write for its owner, read for its group, as the user's umask
// allows). Raises RefusedPath when `path` is a symbolic link (never followed)
// or, for root, a file of another user; it must be a regular file. The
// functions raise SystemError.
FileHandle OpenForAppending(const std::string& path);
void CloseFile(FileHandle file) noexcept;
// An exclusive lock on the file that only the programs appending through
// these functions take (readers are not held up), waited for at most `wait`
// and while `stop` (when given, asked about ten times a second) says no:
// true when taken.
bool LockFile(FileHandle file, std::chrono::milliseconds wait, const std::function<bool()>& stop);
void UnlockFile(FileHandle file) noexcept;
// The file's last byte; nothing when it is empty.
std::optional<char> LastByte(FileHandle file);
// All of `bytes` at the file's end in one write call (a short write, as on a
// full disk, is an error).
void Append(FileHandle file, std::string_view bytes);
// Everything written so far on disk.
void Sync(FileHandle file);

}  // namespace melvorin::units::sys
