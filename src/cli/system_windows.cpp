// The command line on Windows: the arguments read as UTF-16 and turned into
// UTF-8, output to a console written as UTF-16 (WriteConsoleW), the key read
// from the console with echo off (and echo restored on Ctrl+C).

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <aclapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>

#include "cli/key_owner.h"
#include "cli/options.h"
#include "cli/system.h"
#include "net/stack.h"

namespace melvorin::cli::sys {

namespace {

std::string Utf8(const wchar_t* text, int length) {
    if (length == 0) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Utf16(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

// The console behind a standard handle, or nullptr when it is a file or pipe.
HANDLE Console(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return nullptr;
    return handle;
}

// The console input's mode while echo is off, restored also on Ctrl+C.
HANDLE gInput = nullptr;
DWORD gSavedMode = 0;
volatile LONG gEchoOff = 0;

// Ends the program as an interrupted one does (Windows' own code for it),
// the same under every console host.
BOOL WINAPI RestoreEcho(DWORD) {
    if (gEchoOff != 0) ::SetConsoleMode(gInput, gSavedMode);
    ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Utf8(wide[i], static_cast<int>(wcslen(wide[i]))));
    ::LocalFree(wide);
    return args;
}

std::string LocaleName() {
    for (const wchar_t* variable : {L"LC_ALL", L"LC_MESSAGES", L"LANG"}) {
        const wchar_t* value = _wgetenv(variable);
        if (value != nullptr && *value != L'\0') return Utf8(value, static_cast<int>(wcslen(value)));
    }
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    return length > 1 ? Utf8(name, length - 1) : std::string();
}

void Write(std::FILE* stream, const std::string& text) {
    const HANDLE console = Console(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (console == nullptr) {
        // The bytes as they are: no line end becomes CR LF on the way.
        _setmode(_fileno(stream), _O_BINARY);
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
        return;
    }
    std::fflush(stream);
    const std::wstring wide = Utf16(text);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

bool InputIsTerminal() { return Console(STD_INPUT_HANDLE) != nullptr; }

bool ReadLineWithoutEcho(KeyOwner& key) {
    gInput = Console(STD_INPUT_HANDLE);
    if (gInput == nullptr || !::GetConsoleMode(gInput, &gSavedMode)) {
        throw UsageError("cannot turn off echo on the console; use --key-file FILE");
    }
    ::SetConsoleCtrlHandler(RestoreEcho, TRUE);
    // Marked first: an interruption right after echo went off restores it.
    gEchoOff = 1;
    if (!::SetConsoleMode(gInput, (gSavedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT |
                                      ENABLE_PROCESSED_INPUT)) {
        gEchoOff = 0;
        throw UsageError("cannot turn off echo on the console; use --key-file FILE");
    }
    // The line in storage of a fixed size, wiped when read.
    wchar_t wide[KeyOwner::kCapacity];
    DWORD length = 0;
    bool got = false;
    for (;;) {
        DWORD read = 0;
        if (length == KeyOwner::kCapacity ||
            !::ReadConsoleW(gInput, wide + length, KeyOwner::kCapacity - length, &read, nullptr) || read == 0) {
            break;
        }
        const wchar_t* end = std::wmemchr(wide + length, L'\n', read);
        length += read;
        if (end != nullptr) {
            length = static_cast<DWORD>(end - wide);
            if (length > 0 && wide[length - 1] == L'\r') --length;
            got = true;
            break;
        }
    }
    ::SetConsoleMode(gInput, gSavedMode);
    gEchoOff = 0;
    Write(stderr, "\n");  // the line end the user typed was not shown
    char text[KeyOwner::kCapacity];
    const int size = got && length > 0 ? ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text,
                                                                sizeof text, nullptr, nullptr)
                                       : 0;
    for (int i = 0; i < size; ++i) key.Append(text[i]);
    SecureZeroMemory(wide, sizeof wide);
    SecureZeroMemory(text, sizeof text);
    if ((!got && length == KeyOwner::kCapacity) || (got && length > 0 && size == 0)) {
        throw UsageError("the typed key is too long for a join request");
    }
    return got;  // false: interrupted or ended before the line did
}

// SEM_NOGPFAULTERRORBOX: a crash is not handed to Windows Error Reporting,
// so no report with the program's memory is made or sent.
void KeepOutOfDumps() { ::SetErrorMode(::SetErrorMode(0) | SEM_NOGPFAULTERRORBOX); }

std::string LocalAddressTowards(const std::string& address) {
    // The socket layer is started while the stack lives.
    net::TIdStack::IncUsage();
    std::string text;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) == 1 && s != INVALID_SOCKET) {
        // Connecting a datagram socket only looks the route up; nothing is sent.
        sockaddr_in local{};
        int length = sizeof local;
        if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
            char buffer[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &local.sin_addr, buffer, sizeof buffer);
            text = buffer;
        }
    }
    if (s != INVALID_SOCKET) ::closesocket(s);
    net::TIdStack::DecUsage();
    return text;
}

// The file's access list allows reading to a group every user is in:
// Everyone, Users or Authenticated Users. (Other accounts named one by one
// are not looked up.)
std::string ReadableByOthers(const std::string& path) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = Utf16(path);
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    std::string who;
    if (acl == nullptr) who = "it has no access list: every user";  // a null list allows everything
    for (DWORD i = 0; acl != nullptr && who.empty() && i < acl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(acl, i, &entry)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) == 0) continue;
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (IsWellKnownSid(sid, WinWorldSid)) who = "Everyone";
        else if (IsWellKnownSid(sid, WinBuiltinUsersSid)) who = "Users";
        else if (IsWellKnownSid(sid, WinAuthenticatedUserSid)) who = "Authenticated Users";
    }
    LocalFree(descriptor);
    return who.empty() ? who : who + " may read it";
}

namespace {
volatile LONG gStopRequested = 0;
// A second one goes on to the system's handler, which ends the program.
BOOL WINAPI NoteStopRequest(DWORD) { return InterlockedExchange(&gStopRequested, 1) == 0 ? TRUE : FALSE; }
}  // namespace

void CatchStopRequests() { SetConsoleCtrlHandler(NoteStopRequest, TRUE); }

bool StopRequested() { return InterlockedCompareExchange(&gStopRequested, 0, 0) != 0; }

}  // namespace melvorin::cli::sys
