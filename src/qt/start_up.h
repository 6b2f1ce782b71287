#pragma once

#include <QString>

namespace melvorin::qt {

// The start-up of window/program.h with Qt: the added texts through the
// installed QTranslator, the system locale's reading of names, and the
// application title made from `programPath` with Qt's case mapping. Needs
// no application object.
void StartUp(const QString& programPath);

}  // namespace melvorin::qt
