// Code page 936 by the system's conversion. A character the code page cannot
// hold is refused (WC_NO_BEST_FIT_CHARS and the default-character report);
// bytes that do not decode are found by MB_ERR_INVALID_CHARS, one character
// at a time. The user-defined areas, which Windows maps onto the private use
// area, hold no character here, as in the POSIX file's tables.

#include <windows.h>

#include <cstddef>

#include "protocol/cp936_system.h"
#include "protocol/secret_bytes.h"

namespace melvorin::sys {

namespace {

constexpr UINT kCodePage = 936;

bool PrivateUse(wchar_t c) { return c >= 0xE000 && c <= 0xF8FF; }

void AppendUtf8(const wchar_t* text, int length, std::string& out) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data() + at, size, nullptr, nullptr);
}

// The one character of `length` bytes at `bytes`, appended; false when they
// are no character of the code page.
bool DecodeOne(const std::uint8_t* bytes, int length, std::string& out) {
    wchar_t wide[2] = {};
    const int got = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                          length, wide, 2);
    if (got != 1 || PrivateUse(wide[0])) return false;
    AppendUtf8(wide, 1, out);
    return true;
}

}  // namespace

TEncoded EncodeCp936(const std::string& utf8, std::string& out) {
    if (utf8.empty()) return TEncoded::Ok;
    const int inLength = static_cast<int>(utf8.size());
    const int wideLength = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (wideLength <= 0) return TEncoded::Unencodable;
    // Both working copies may hold a key: wiped when they go.
    Scratch<std::wstring> wideCopy{std::wstring(static_cast<std::size_t>(wideLength), L'\0')};
    std::wstring& wide = wideCopy.data;
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(), wideLength);
    for (const wchar_t c : wide) {
        if (PrivateUse(c)) return TEncoded::Unencodable;
    }
    BOOL usedDefault = FALSE;
    const int size =
        ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER ? TEncoded::NoConversion : TEncoded::Unencodable;
    }
    if (usedDefault) return TEncoded::Unencodable;
    Scratch<std::string> bytes{std::string(static_cast<std::size_t>(size), '\0')};
    ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, bytes.data.data(), size, nullptr,
                          &usedDefault);
    if (usedDefault) return TEncoded::Unencodable;
    out += bytes.data;
    return TEncoded::Ok;
}

int DecodeCp936(const TIdBytes& bytes, std::string& out, const char* replacement) {
    CPINFO info{};
    if (!::GetCPInfo(kCodePage, &info)) return -1;
    int replaced = 0;
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else if (b >= 0x81 && b <= 0xFE && i + 1 < n && DecodeOne(&bytes[i], 2, out)) {
            i += 2;
        } else if (b == 0x80 && DecodeOne(&bytes[i], 1, out)) {
            ++i;  // the euro sign
        } else {
            out += replacement;
            ++replaced;
            ++i;
        }
    }
    return replaced;
}

}  // namespace melvorin::sys
