#include "qt/wire_log.h"

#include <atomic>
#include <chrono>

#include "net/wire_log.h"

namespace melvorin::qt {

Q_LOGGING_CATEGORY(lcWire, "melvorin.wire", QtWarningMsg)

namespace {
std::atomic<bool> showSecrets{false};
}  // namespace

void EnableWireLog() { QLoggingCategory::setFilterRules(QStringLiteral("melvorin.wire.info=true")); }

void ShowSecretsInWireLog(bool show) { showSecrets = show; }

void LogWire(const net::TIdLogEntry& entry) {
    if (lcWire().isInfoEnabled()) {
        qCInfo(lcWire).noquote() << QString::fromStdString(
            net::WireLogLine(entry, std::chrono::system_clock::now(), showSecrets));
    }
}

}  // namespace melvorin::qt
