#include "ui/status_line.h"

#include <QStringList>

#include "ui/accessible.h"

namespace melvorin::ui {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("lblStatus"));
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    scanTimer_.setSingleShot(true);
    joinTimer_.setSingleShot(true);
    SetTimeouts(kScanTimeout, kJoinTimeout);
    connect(&scanTimer_, &QTimer::timeout, this, [this] {
        Say(tr("No device answered the scan on %1. Is this computer on the device's network or "
               "connected to its access point?")
                .arg(scanWhere_));
    });
    connect(&joinTimer_, &QTimer::timeout, this,
            [this] { Say(tr("The device did not answer the join request for \u201c%1\u201d.").arg(joinSsid_)); });
}

void TStatusLine::SetTimeouts(std::chrono::milliseconds scan, std::chrono::milliseconds join) {
    scanTimer_.setInterval(scan);
    joinTimer_.setInterval(join);
}

QString TStatusLine::Where(const std::vector<std::string>& interfaces) const {
    if (interfaces.empty()) {
        return tr("the default route");
    }
    QStringList names;
    for (const std::string& name : interfaces) {
        names << QString::fromStdString(name);
    }
    return names.join(QStringLiteral(", "));
}

QString TStatusLine::Failures(const std::vector<net::TIdSendFailure>& failed) const {
    QString out;
    for (const net::TIdSendFailure& f : failed) {
        QString why = QString::fromStdString(f.Message).simplified();
        out += QLatin1Char(' ') + tr("Could not send on %1: %2").arg(QString::fromStdString(f.Interface), why);
        if (!out.endsWith(QLatin1Char('.'))) out += QLatin1Char('.');
    }
    return out;
}

void TStatusLine::ScanSent(const std::vector<std::string>& interfaces, const std::vector<net::TIdSendFailure>& failed) {
    joinTimer_.stop();
    scanWhere_ = Where(interfaces);
    scanTimer_.start();
    Say(tr("Scan sent on %1; waiting for a device\u2026").arg(scanWhere_) + Failures(failed));
}

void TStatusLine::NothingSent(const std::vector<net::TIdSendFailure>& failed) {
    scanTimer_.stop();
    joinTimer_.stop();
    Say(Failures(failed).trimmed());
}

void TStatusLine::ListShown(int networks, const std::string& deviceAddress, const std::string& interface) {
    scanTimer_.stop();
    const QString where = interface.empty() ? tr("an unknown interface") : QString::fromStdString(interface);
    const QString device = QString::fromStdString(deviceAddress);
    Say(networks == 1 ? tr("1 network from the device at %1 on %2.").arg(device, where)
                      : tr("%1 networks from the device at %2 on %3.").arg(networks).arg(device, where));
}

void TStatusLine::JoinSent(const QString& ssid, const std::vector<std::string>& interfaces,
                           const std::vector<net::TIdSendFailure>& failed) {
    scanTimer_.stop();
    joinSsid_ = ssid;
    joinTimer_.start();
    Say(tr("Join request for \u201c%1\u201d sent on %2; waiting for the device\u2026").arg(ssid, Where(interfaces)) +
        Failures(failed));
}

void TStatusLine::JoinAnswered(const QString& message) {
    joinTimer_.stop();
    if (joinSsid_.isEmpty()) {
        Say(tr("A device answered a join request: %1").arg(message));
        return;
    }
    Say(tr("The device answered the join request for \u201c%1\u201d: %2").arg(joinSsid_, message));
}

void TStatusLine::SetUnasked(long count) {
    if (count == unasked_) {
        return;
    }
    unasked_ = count;
    Say(said_);
}

void TStatusLine::Say(const QString& text) {
    said_ = text;
    QString line = text;
    if (unasked_ > 0) {
        line += QLatin1Char(' ') + (unasked_ == 1 ? tr("(1 unasked join result ignored)")
                                                  : tr("(%1 unasked join results ignored)").arg(unasked_));
    }
    const QString before = this->text();
    setText(line);
    setToolTip(line);
    if (line != before) AnnounceTextChange(this, before, line);
}

}  // namespace melvorin::ui
