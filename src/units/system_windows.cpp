// The units library's system calls on Windows: paths are UTF-8 turned into
// UTF-16, the registries sit beside the program, the record file's lock is
// LockFileEx.

#include <windows.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "units/system.h"

namespace melvorin::units::sys {

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

std::string Utf8(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

// The system's text for GetLastError(), without its line break.
[[noreturn]] void Raise() {
    const DWORD error = ::GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Utf8(text, static_cast<int>(length)) : "";
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.')) {
        message.pop_back();
    }
    throw SystemError(message.empty() ? "system error " + std::to_string(error) : message);
}

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

std::optional<FileHandle> OpenForReading(const std::string& path) {
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    return reinterpret_cast<FileHandle>(file);
}

long ReadSome(FileHandle file, char* into, std::size_t size) {
    DWORD got = 0;
    const DWORD asked = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
    if (!::ReadFile(Handle(file), into, asked, &got, nullptr)) return -1;
    return static_cast<long>(got);
}

void* AllocateTable(std::size_t bytes) {
    void* at = std::malloc(bytes);
    if (at == nullptr) throw std::bad_alloc();
    return at;
}

void FreeTable(void* at, std::size_t) noexcept { std::free(at); }

std::uint64_t SizeOf(FileHandle file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Handle(file), &size) || size.QuadPart < 0) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::string RegistryFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return ".";
        if (length < path.size()) {
            std::wstring name(path.data(), length);
            const std::size_t slash = name.find_last_of(L"\\/");
            return slash == std::wstring::npos ? "." : Utf8(name.data(), static_cast<int>(slash));
        }
        path.resize(path.size() * 2);
    }
}

std::string InFolder(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::string StateFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) throw SystemError("LOCALAPPDATA names no folder");
    return Utf8(folder, static_cast<int>(length)) + "\\melvorin";
}

void MakeFolders(const std::string& folder) {
    const std::wstring wide = Wide(folder);
    for (std::size_t at = 1; at <= wide.size(); ++at) {
        if (at != wide.size() && wide[at] != L'\\' && wide[at] != L'/') continue;
        const std::wstring part = wide.substr(0, at);
        if (part.back() == L':' || part.find_first_not_of(L"\\/") == std::wstring::npos) continue;  // "C:", "\\"
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) Raise();
    }
}

std::string HostName() {
    wchar_t name[256] = {};
    DWORD length = 256;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
    return Utf8(name, static_cast<int>(length));
}

FileHandle OpenForAppending(const std::string& path) {
    // The link itself is opened, never what it points to, and refused.
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA | GENERIC_READ | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) Raise();
    BY_HANDLE_FILE_INFORMATION about{};
    if (!::GetFileInformationByHandle(file, &about)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        ::SetLastError(error);
        Raise();
    }
    if ((about.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ::CloseHandle(file);
        throw RefusedPath("it is a symbolic link or another reparse point");
    }
    return reinterpret_cast<FileHandle>(file);
}

void CloseFile(FileHandle file) noexcept { ::CloseHandle(Handle(file)); }

// Windows' byte-range locks keep everyone else from the range, readers too:
// the lock is taken on one byte far beyond any end the file will have, which
// only the appending programs ask for.
OVERLAPPED LockedByte() {
    OVERLAPPED at{};
    at.Offset = MAXDWORD;
    at.OffsetHigh = 0x7FFFFFFF;
    return at;
}

bool LockFile(FileHandle file, std::chrono::milliseconds wait, const std::function<bool()>& stop) {
    // Asked for again every 10 ms: a handle opened for synchronous writes
    // cannot wait for a lock with a time-out.
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at = LockedByte();
        if (::LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return true;
        if (::GetLastError() != ERROR_LOCK_VIOLATION && ::GetLastError() != ERROR_IO_PENDING) Raise();
        if ((stop && stop()) || std::chrono::steady_clock::now() >= end) return false;
        ::Sleep(10);
    }
}

void UnlockFile(FileHandle file) noexcept {
    OVERLAPPED at = LockedByte();
    ::UnlockFileEx(Handle(file), 0, 1, 0, &at);
}

std::optional<char> LastByte(FileHandle file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Handle(file), &size)) Raise();
    if (size.QuadPart == 0) return std::nullopt;
    OVERLAPPED at{};
    const ULONGLONG offset = static_cast<ULONGLONG>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    char last = 0;
    DWORD got = 0;
    if (!::ReadFile(Handle(file), &last, 1, &got, &at)) Raise();
    if (got != 1) {
        ::SetLastError(ERROR_HANDLE_EOF);
        Raise();
    }
    return last;
}

void Append(FileHandle file, std::string_view bytes) {
    DWORD wrote = 0;
    if (!::WriteFile(Handle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr)) Raise();
    if (wrote != bytes.size()) {
        ::SetLastError(ERROR_DISK_FULL);
        Raise();
    }
}

void Sync(FileHandle file) {
    if (!::FlushFileBuffers(Handle(file))) Raise();
}

}  // namespace melvorin::units::sys
