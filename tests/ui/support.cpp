#include "support.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <algorithm>

namespace melvorin::uitest {

void RecordingBoxes::ShowNotice(const QString& text) {
    notices << text;
    ++openNotices;
    mostOpenNotices = std::max(mostOpenNotices, openNotices);
    if (onNotice) {
        onNotice(text);
    }
    --openNotices;
}

void RecordingBoxes::ShowError(const QString& text) { errors << text; }

QByteArray Frame(unsigned char command, const QByteArray& payload) {
    QByteArray frame;
    frame.append(char(0xFF));
    frame.append(char(0x00));
    frame.append(char(payload.size() + 1));
    frame.append(char(command));
    frame.append(payload);
    unsigned sum = 0;
    for (qsizetype i = 1; i < frame.size(); ++i) {
        sum += static_cast<unsigned char>(frame[i]);
    }
    frame.append(char(sum & 0xFF));
    return frame;
}

Device::Device(const QHostAddress& address, quint16 port) {
    bound_ = socket_.bind(address, port, QAbstractSocket::DontShareAddress);
}

QByteArray Device::Receive(int timeoutMs, quint16* senderPort) {
    QElapsedTimer timer;
    timer.start();
    while (!socket_.hasPendingDatagrams()) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || !socket_.waitForReadyRead(static_cast<int>(left))) {
            if (!socket_.hasPendingDatagrams()) {
                return {};
            }
        }
    }
    const QNetworkDatagram datagram = socket_.receiveDatagram();
    if (senderPort != nullptr) {
        *senderPort = static_cast<quint16>(datagram.senderPort());
    }
    QByteArray data = datagram.data();
    if (data.isNull()) {
        data = QByteArray("");  // an empty datagram is not "none"
    }
    return data;
}

void Device::Send(const QByteArray& datagram, const QHostAddress& to, quint16 port) {
    socket_.writeDatagram(datagram, to, port);
}

}  // namespace melvorin::uitest
