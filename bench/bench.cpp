#include "bench.h"

#include <QEventLoop>
#include <QHostAddress>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "net/udp_server.h"
#include "protocol/scan.h"

namespace melvorin::bench {

QtReceiver::QtReceiver(std::uint16_t port) : buffer_(8192) {
    if (!socket_.bind(QHostAddress::LocalHost, port)) {
        throw std::runtime_error("QUdpSocket could not bind 127.0.0.1:" + std::to_string(port));
    }
    QObject::connect(&socket_, &QUdpSocket::readyRead, this, [this] {
        while (socket_.hasPendingDatagrams()) {
            const qint64 n = socket_.readDatagram(reinterpret_cast<char*>(buffer_.data()),
                                                  static_cast<qint64>(buffer_.size()));
            if (n >= 0 && onDatagram) onDatagram(buffer_.data(), static_cast<std::size_t>(n));
        }
    });
}

bool ReadStamp(const std::uint8_t* data, std::size_t size, Stamp& stamp) {
    if (size < sizeof(Stamp)) return false;
    std::memcpy(&stamp, data, sizeof stamp);
    return true;
}

std::unique_ptr<net::TIdUDPServer> ActiveEndpoint(net::THandOver& handOver) {
    auto server = std::make_unique<net::TIdUDPServer>(handOver, "idpsrvr1");
    server->SetBroadcastEnabled(true);
    server->SetDefaultPort(kReplyPort);
    server->OnUDPRead = [](net::TIdUDPListenerThread&, const TIdBytes&, net::TIdSocketHandle&) {};
    server->SendDatagram("255.255.255.255", kDefaultSearchPort, BuildScanRequest());
    return server;
}

void RunWithLoop(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&loop, &work] {
        work();
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

std::string Us(std::int64_t ns) { return Format("%.1f µs", NsToUs(ns)); }
std::string Ms(std::int64_t ns) { return Format("%.2f ms", NsToMs(ns)); }
std::string Ratio(double r) { return Format("%.2f", r); }
std::string Met(bool ok) { return ok ? "yes" : "NO"; }

double RatioOf(std::int64_t a, std::int64_t b) {
    return b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0.0;
}

}  // namespace melvorin::bench
