// The program itself, run as a process (offscreen): start-up sends the first
// scan, a join result nobody asked for holds no listener, and a termination
// signal takes the way out of closing the window, also from the start-up
// error box.

#include <signal.h>

#include <QTest>
#include <memory>

#include "child_process.h"
#include "qt_support.h"

namespace melvorin::uitest {

using testing::ChildProcess;
using testing::NextHex;
using testing::UdpPeer;

class ProgramTests : public QObject {
    Q_OBJECT

    std::unique_ptr<UdpPeer> device;
    std::unique_ptr<ChildProcess> program;
    int exitCode = -1;

    void Start(std::vector<std::string> args = {}, ChildProcess::Output output = ChildProcess::Output::Inherit) {
        program = std::make_unique<ChildProcess>(MELVORIN_PROGRAM, std::move(args), output,
                                                 std::vector<std::string>{"QT_QPA_PLATFORM=offscreen"});
        QVERIFY(program->Started());
    }

    // SIGTERM; the exit code is -1 for a signal.
    void Terminate() {
        program->Signal(SIGTERM);
        exitCode = program->WaitExit(15000);
        QVERIFY2(!program->Running(), "the program did not end");
    }

    // SIGTERM, then the exit code of an orderly shut-down.
    void TerminateAndExpectCleanExit() {
        Terminate();
        QCOMPARE(exitCode, 0);
        // The endpoint was closed: port 12345 is free.
        QVERIFY(testing::PortFree(12345));
    }

private slots:
    void init() {
        exitCode = -1;
        device = std::make_unique<UdpPeer>();
        QVERIFY(device->Bind("", 1902));
    }
    void cleanup() {
        program.reset();  // killed if still running
        device.reset();
    }

    void startsWithAScanAndEndsInOrder() {
        Start();
        std::uint16_t sourcePort = 0;
        QCOMPARE(NextHex(*device, 10000, &sourcePort), QStringLiteral("ff00010102"));
        QCOMPARE(sourcePort, std::uint16_t{12345});
        device->SendToLoopback(testing::ListReply({{testing::BytesOf("AB"), 50}}));
        QTest::qWait(300);
        TerminateAndExpectCleanExit();
    }

    void unaskedResultHoldsNoListener() {
        Start({"--verbose"}, ChildProcess::Output::Capture);
        QCOMPARE(NextHex(*device, 10000), QStringLiteral("ff00010102"));
        // No join request was sent: the result opens no notice, so its
        // listener takes the list reply behind it at once (a notice would
        // hold it until closed).
        device->SendToLoopback(testing::FromHex("ff000382010187"));
        device->SendToLoopback(testing::FromHex("ff00088100414200320d0a55"));
        QVERIFY(program->WaitForStderr(
            " received lo from 127.0.0.1:1902 12 bytes: ff 00 08 81 00 41 42 00 32 0d 0a 55\n"));
        TerminateAndExpectCleanExit();
    }

    void endsWhileTheStartUpErrorBoxIsOpen() {
        {
            // Port 12345 taken: the first scan's error box opens before the
            // window and before the main loop.
            UdpPeer blocker;
            QVERIFY(blocker.Bind("", 12345));
            Start();
            QCOMPARE(NextHex(*device, 1000), QStringLiteral("none"));
            QVERIFY(program->Running());
            Terminate();
        }
        QCOMPARE(exitCode, 0);
    }
};

std::unique_ptr<QObject> MakeProgramTests() { return std::make_unique<ProgramTests>(); }

}  // namespace melvorin::uitest

#include "program_test.moc"
