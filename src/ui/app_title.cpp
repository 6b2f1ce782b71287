#include "ui/app_title.h"

#include "window/rules.h"

namespace melvorin::ui {

QString MakeApplicationTitle(const QString& programPath) {
    return QString::fromStdString(window::MakeApplicationTitle(
        programPath.toStdString(), [](const std::string& s) { return QString::fromStdString(s).toLower().toStdString(); }));
}

void SetApplicationTitle(const QString& title) { window::SetApplicationTitle(title.toStdString()); }

QString ApplicationTitle() { return QString::fromStdString(window::ApplicationTitle()); }

}  // namespace melvorin::ui
