#include "ui/app_title.h"

#include "window/rules.h"

namespace melvorin::ui {

std::string LowerCase(const std::string& text) { return QString::fromStdString(text).toLower().toStdString(); }

QString MakeApplicationTitle(const QString& programPath) {
    return QString::fromStdString(window::MakeApplicationTitle(programPath.toStdString(), &LowerCase));
}

void SetApplicationTitle(const QString& title) { window::SetApplicationTitle(title.toStdString()); }

QString ApplicationTitle() { return QString::fromStdString(window::ApplicationTitle()); }

}  // namespace melvorin::ui
