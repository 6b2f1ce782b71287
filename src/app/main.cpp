// Melvorin: start-up, event loop and shut-down.

#include <QApplication>
#include <QSocketNotifier>
#include <QString>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "ui/app_title.h"
#include "ui/boxes.h"
#include "ui/run_window.h"

namespace {

// A termination signal (log-off, shut-down, Ctrl+C in a terminal) takes the
// same way out as closing the window: the handler only writes a byte that
// the event loop picks up.
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

void CatchTerminationSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    melvorin::ui::SetApplicationTitle(
        melvorin::ui::MakeApplicationTitle(argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString()));

    CatchTerminationSignals();
    bool quitRequested = false;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    signalNotifier.setEnabled(signalPipe[0] >= 0);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&quitRequested] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
        quitRequested = true;
        // Ends every running loop: the main loop and any open box's, also the
        // error box of the first scan, shown before the main loop runs (where
        // quit() would do nothing).
        QCoreApplication::exit(0);
    });

    melvorin::ui::TSystemBoxes boxes;
    melvorin::ui::RunMainWindow(boxes, {}, &quitRequested);
    return 0;
}
