#pragma once

// Test doubles for the window: recording boxes and a device stand-in.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUdpSocket>
#include <functional>

#include "ui/boxes.h"

namespace melvorin::uitest {

// Records what the window would show; nothing blocks.
class RecordingBoxes : public ui::IBoxes {
public:
    void ShowNotice(const QString& text) override;
    void ShowError(const QString& text) override;
    void Beep() override { ++beeps; }

    QStringList notices;
    QStringList errors;
    int beeps = 0;
    // Notices open at once (a notice is "open" while onNotice runs).
    int openNotices = 0;
    int mostOpenNotices = 0;
    // Runs while the notice is open, as a modal box's loop would.
    std::function<void(const QString&)> onNotice;
};

// A frame as a device builds it: FF 00 <payload + 1> <command> <payload>
// <sum of offsets 1 .. n-2>.
QByteArray Frame(unsigned char command, const QByteArray& payload);

// A device on the search port 1902: receives what the window broadcasts and
// answers to 127.0.0.1:12345 (or another address).
class Device {
public:
    explicit Device(const QHostAddress& address = QHostAddress::AnyIPv4, quint16 port = 1902);
    bool Bound() const { return bound_; }
    // The next datagram within timeoutMs; `senderPort` gets its source port.
    // Null when none came.
    QByteArray Receive(int timeoutMs = 3000, quint16* senderPort = nullptr);
    void Send(const QByteArray& datagram, const QHostAddress& to = QHostAddress::LocalHost, quint16 port = 12345);

private:
    QUdpSocket socket_;
    bool bound_ = false;
};

}  // namespace melvorin::uitest
