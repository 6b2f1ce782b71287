#include "startup_probe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bench_util.h"
#include "netns_guard.h"

namespace melvorin::bench {

namespace {

void SendMarker(std::uint16_t port) {
    try {
        const char marker = 'S';
        UdpSocket("127.0.0.1", 0).SendToLoopback(port, &marker, 1);
    } catch (const std::exception&) {
        // No marker: the benchmark counts the run as failed.
    }
}

class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::uint16_t port) : port_(port) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && event->type() == QEvent::Paint) {
            done_ = true;
            const std::uint16_t port = port_;
            // Once the paint pass is over and the loop is idle again.
            QTimer::singleShot(0, [port] {
                SendMarker(port);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::uint16_t port_;
    bool done_ = false;
};

}  // namespace

std::uint16_t ProbePort(int argc, char* argv[]) {
    if (!InPrivateNetns() || argc < 2) return 0;
    const long port = std::strtol(argv[1], nullptr, 10);
    return port > 0 && port < 65536 ? static_cast<std::uint16_t>(port) : 0;
}

void SignalWhenShown(QWidget& window, std::uint16_t port) {
    auto* filter = new FirstPaint(port);
    filter->setParent(&window);
    window.installEventFilter(filter);
}

bool InPrivateNetns() {
    const std::string problem = melvorin::testing::PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "refusing to run outside a private network namespace: %s\n", problem.c_str());
        return false;
    }
    return true;
}

}  // namespace melvorin::bench
