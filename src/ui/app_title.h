#pragma once

#include <QString>

namespace melvorin::ui {

// The application title made from the program file's name: the directory
// part removed (up to the last "/" or "\"), the name cut at its first ".",
// the first character kept as it is and every later one in lower case.
// "/usr/bin/Melvorin.exe" gives "Melvorin", "melvorin" gives "melvorin".
QString MakeApplicationTitle(const QString& programPath);

// The title of this run: the caption of the notice and error boxes.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

}  // namespace melvorin::ui
