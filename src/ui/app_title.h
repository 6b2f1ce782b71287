#pragma once

#include <QString>
#include <string>

namespace melvorin::ui {

// Qt's lower-case mapping of UTF-8 text.
std::string LowerCase(const std::string& text);

// The title rule of window/rules.h with Qt's case mapping:
// "/usr/bin/Melvorin.exe" gives "Melvorin", "melvorin" gives "melvorin".
QString MakeApplicationTitle(const QString& programPath);

// The title of this run: the caption of the notice and error boxes.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

}  // namespace melvorin::ui
