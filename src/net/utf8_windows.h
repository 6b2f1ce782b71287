#pragma once

// The UTF-8 form of a Windows text, for the transport's Windows files.

#include <windows.h>

#include <string>

namespace melvorin::net::sys {

// `text` as UTF-8 ("" for none).
inline std::string Utf8(const wchar_t* text) {
    if (text == nullptr || *text == 0) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

}  // namespace melvorin::net::sys
