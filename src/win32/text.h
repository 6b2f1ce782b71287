#pragma once

// UTF-8 (the window logic's strings) and UTF-16 (the wide API's) of one text.

#include <string>

namespace melvorin::win32 {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

}  // namespace melvorin::win32
