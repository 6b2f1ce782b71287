#include "ui/wire_log.h"

#include <atomic>

#include "net/wire_log.h"

namespace melvorin::ui {

Q_LOGGING_CATEGORY(lcWire, "melvorin.wire", QtWarningMsg)

namespace {
std::atomic<bool> showSecrets{false};
}  // namespace

void EnableWireLog() { QLoggingCategory::setFilterRules(QStringLiteral("melvorin.wire.info=true")); }

void ShowSecretsInWireLog(bool show) { showSecrets = show; }

QString WireLogLine(const net::TIdLogEntry& entry, const QDateTime& when) {
    const auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
    return QString::fromStdString(net::WireLogLine(entry, time, showSecrets));
}

void LogWire(const net::TIdLogEntry& entry) {
    if (lcWire().isInfoEnabled()) {
        qCInfo(lcWire).noquote() << WireLogLine(entry, QDateTime::currentDateTimeUtc());
    }
}

}  // namespace melvorin::ui
