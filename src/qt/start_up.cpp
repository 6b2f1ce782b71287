#include "qt/start_up.h"

#include <QCoreApplication>
#include <QLocale>
#include <string>

#include "qt/app_title.h"
#include "window/program.h"

namespace melvorin::qt {

namespace {

std::string QtTranslate(const char* context, const char* text) {
    const QString t = QCoreApplication::translate(context, text);
    return t == QString::fromUtf8(text) ? std::string() : t.toStdString();
}

}  // namespace

void StartUp(const QString& programPath) {
    window::StartUp({&QtTranslate, QLocale::system().name().toStdString(), programPath.toStdString(), &LowerCase});
}

}  // namespace melvorin::qt
