// Start-up probe: the program's own start-up (title, hand-over pump, the
// main window, its first scan, showing it), followed by one datagram once
// the window is shown. Its boxes only record, so that a failed first scan
// cannot hold the probe in a modal box.

#include <QApplication>
#include <QString>

#include "quiet_boxes.h"
#include "startup_probe.h"
#include "qt/form2.h"
#include "qt/handover_pump.h"
#include "qt/start_up.h"
#include "window/program.h"

int main(int argc, char* argv[]) {
    const std::uint16_t port = melvorin::bench::ProbePort(argc, argv);
    if (port == 0) return 2;
    QApplication app(argc, argv);
    melvorin::qt::StartUp(QString::fromLocal8Bit(argv[0]));
    melvorin::bench::QuietBoxes boxes;
    melvorin::window::RunMainWindow<melvorin::qt::THandOverPump, melvorin::qt::TForm2>(
        boxes, [port](melvorin::qt::TForm2& form) { melvorin::bench::SignalWhenShown(form, port); });
    return 0;
}
