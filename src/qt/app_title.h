#pragma once

#include <QString>
#include <string>

namespace melvorin::qt {

// Qt's lower-case mapping of UTF-8 text, for the title rule of
// window/rules.h: "/usr/bin/Melvorin.exe" gives "Melvorin", "melvorin" gives
// "melvorin".
std::string LowerCase(const std::string& text);

// The title of this run: the caption of the notice and error boxes.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

}  // namespace melvorin::qt
