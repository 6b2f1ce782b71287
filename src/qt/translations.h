#pragma once

// The window's own texts in the user's language: melvorin_<language>.qm,
// looked for in "translations" beside the program and in the installed data
// directory. English is in the code; the specified texts are never
// translated.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace melvorin::qt {

// Where the translations are looked for, for a program in `programDir`.
QStringList TranslationDirs(const QString& programDir);

// The directory of the running program (from /proc/self/exe; no application
// object needed).
QString ProgramDir();

// Loads the translation for `locale` into `translator`; false when there is
// none (English).
bool LoadTranslation(QTranslator& translator, const QLocale& locale, const QStringList& dirs);

// A text of `context` translated by `translator`, or the English text.
QString Translated(const QTranslator& translator, const char* context, const char* text);

}  // namespace melvorin::qt
