#include "ui/app_title.h"

#include <algorithm>

namespace melvorin::ui {

namespace {
QString& TitleStore() {
    static QString title;
    return title;
}
}  // namespace

QString MakeApplicationTitle(const QString& programPath) {
    const qsizetype slash = std::max(programPath.lastIndexOf(QLatin1Char('/')),
                                     programPath.lastIndexOf(QLatin1Char('\\')));
    QString name = programPath.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    if (name.size() <= 1) {
        return name;
    }
    return name.left(1) + name.mid(1).toLower();
}

void SetApplicationTitle(const QString& title) { TitleStore() = title; }

QString ApplicationTitle() { return TitleStore(); }

}  // namespace melvorin::ui
