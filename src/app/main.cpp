// Melvorin with Qt: its options, the display check, termination signals, and
// the Qt application around the shared start-up and shut-down
// (window/program.h).

#include <QApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "app/start_options.h"
#include "melvorin/version.h"
#include "qt/boxes.h"
#include "qt/form2.h"
#include "qt/handover_pump.h"
#include "qt/start_up.h"
#include "qt/translations.h"
#include "qt/wire_log.h"
#include "window/program.h"

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

constexpr const char* kContext = "main";

const char* const kHelp = QT_TRANSLATE_NOOP(
    "main",
    "Usage: melvorin [--verbose [--show-secrets]] [--help] [--version]\n"
    "Puts a Wi-Fi device onto a wireless network over UDP broadcast.\n"
    "\n"
    "  --verbose        write every datagram sent or received, and every error\n"
    "                   dropped on purpose, to standard error (the same as\n"
    "                   QT_LOGGING_RULES=melvorin.wire.info=true); the key of a\n"
    "                   join request is written as its length only\n"
    "  --show-secrets   write the key's bytes in that log too\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n");

const char* const kNoDisplay = QT_TRANSLATE_NOOP(
    "main",
    "melvorin: no display to open the window on: set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland); "
    "scripts/run --demo needs one too");

const char* const kDisplayUnreachable = QT_TRANSLATE_NOOP(
    "main",
    "melvorin: the X display DISPLAY=%1 does not answer: start it or set DISPLAY or WAYLAND_DISPLAY "
    "to a running one; scripts/run --demo needs one too");

void Print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    if (!text.endsWith(QLatin1Char('\n'))) {
        std::fputc('\n', to);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace melvorin;
    // Decided before the application object exists: Qt aborts without a
    // display, and --help and --version need none.
    const app::StartOptions options = app::ParseStartOptions(argc, argv);
    QTranslator translator;
    qt::LoadTranslation(translator, QLocale::system(), qt::TranslationDirs(qt::ProgramDir()));
    if (options.help) {
        Print(stdout, qt::Translated(translator, kContext, kHelp));
        return 0;
    }
    if (options.version) {
        std::printf("melvorin %s\n", kVersion);
        return 0;
    }
    switch (app::CheckDisplay([](const char* name) { return std::getenv(name); })) {
    case app::DisplayState::Usable:
        break;
    case app::DisplayState::NotSet:
        Print(stderr, qt::Translated(translator, kContext, kNoDisplay));
        return 1;
    case app::DisplayState::Unreachable:
        Print(stderr, qt::Translated(translator, kContext, kDisplayUnreachable)
                          .arg(QString::fromLocal8Bit(std::getenv("DISPLAY"))));
        return 1;
    }
    if (options.verbose) {
        qt::EnableWireLog();
    }
    qt::ShowSecretsInWireLog(options.showSecrets);

    QApplication app(argc, argv);
    // Ties the running window to its menu entry and icon (Wayland).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(melvorin::kAppId));
    QApplication::installTranslator(&translator);
    qt::StartUp(argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString());

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

    qt::TSystemBoxes boxes;
    window::RunMainWindow<qt::THandOverPump, qt::TForm2>(boxes, {}, &quitRequested);
    return 0;
}
