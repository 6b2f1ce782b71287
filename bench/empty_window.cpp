// Start-up baseline: a trivial Qt Widgets program that shows an empty window
// of the main window's size and sends one datagram once it is shown.

#include <QApplication>
#include <QWidget>

#include "startup_probe.h"

int main(int argc, char* argv[]) {
    const std::uint16_t port = melvorin::bench::ProbePort(argc, argv);
    if (port == 0) return 2;
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty"));
    window.resize(363, 486);
    melvorin::bench::SignalWhenShown(window, port);
    window.show();
    return QApplication::exec();
}
