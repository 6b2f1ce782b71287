#include "qt/app_title.h"

#include "window/rules.h"

namespace melvorin::qt {

std::string LowerCase(const std::string& text) { return QString::fromStdString(text).toLower().toStdString(); }

void SetApplicationTitle(const QString& title) { window::SetApplicationTitle(title.toStdString()); }

QString ApplicationTitle() { return QString::fromStdString(window::ApplicationTitle()); }

}  // namespace melvorin::qt
