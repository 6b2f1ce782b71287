#include "qt/translations.h"

#include <QDir>
#include <QFileInfo>

namespace melvorin::qt {

QStringList TranslationDirs(const QString& programDir) {
    QStringList dirs = {programDir + QStringLiteral("/translations"),
                        QDir::cleanPath(programDir + QStringLiteral("/../share/melvorin/translations"))};
#ifdef MELVORIN_TRANSLATIONS_DIR
    dirs << QStringLiteral(MELVORIN_TRANSLATIONS_DIR);
#endif
    dirs.removeDuplicates();
    return dirs;
}

QString ProgramDir() { return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path(); }

bool LoadTranslation(QTranslator& translator, const QLocale& locale, const QStringList& dirs) {
    for (const QString& dir : dirs) {
        if (translator.load(locale, QStringLiteral("melvorin"), QStringLiteral("_"), dir)) {
            return true;
        }
    }
    return false;
}

QString Translated(const QTranslator& translator, const char* context, const char* text) {
    const QString t = translator.translate(context, text);
    return t.isEmpty() ? QString::fromUtf8(text) : t;
}

}  // namespace melvorin::qt
