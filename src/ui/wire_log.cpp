#include "ui/wire_log.h"

#include <QByteArray>

namespace melvorin::ui {

Q_LOGGING_CATEGORY(lcWire, "melvorin.wire", QtWarningMsg)

void EnableWireLog() { QLoggingCategory::setFilterRules(QStringLiteral("melvorin.wire.info=true")); }

QString WireLogLine(const net::TIdLogEntry& entry, const QDateTime& when) {
    const QString time = when.toUTC().toString(Qt::ISODateWithMs);
    if (entry.Kind == net::TIdLogKind::Dropped) {
        return QStringLiteral("%1 dropped: %2").arg(time, QString::fromStdString(entry.Message));
    }
    const QByteArray hex(reinterpret_cast<const char*>(entry.Data.data()), static_cast<qsizetype>(entry.Data.size()));
    const bool sent = entry.Kind == net::TIdLogKind::Sent;
    return QStringLiteral("%1 %2 %3 %4 %5:%6 %7 bytes: %8")
        .arg(time, sent ? QStringLiteral("sent") : QStringLiteral("received"),
             entry.Interface.empty() ? QStringLiteral("-") : QString::fromStdString(entry.Interface),
             sent ? QStringLiteral("to") : QStringLiteral("from"), QString::fromStdString(entry.PeerIP))
        .arg(entry.PeerPort)
        .arg(entry.Data.size())
        .arg(QString::fromLatin1(hex.toHex(' ')));
}

void LogWire(const net::TIdLogEntry& entry) {
    if (lcWire().isInfoEnabled()) {
        qCInfo(lcWire).noquote() << WireLogLine(entry, QDateTime::currentDateTimeUtc());
    }
}

}  // namespace melvorin::ui
