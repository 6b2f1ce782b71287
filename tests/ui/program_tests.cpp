// The program itself, run as a process (offscreen): start-up sends the first
// scan, a termination signal takes the way out of closing the window, also
// while a listener waits on an open notice box.

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

    void Start() {
        program = std::make_unique<ChildProcess>(MELVORIN_PROGRAM, std::vector<std::string>{},
                                                 ChildProcess::Output::Inherit,
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

    void endsWhileANoticeHoldsItsListener() {
        Start();
        QCOMPARE(NextHex(*device, 10000), QStringLiteral("ff00010102"));
        // A join result opens a real modal notice; its listener waits on it.
        device->SendToLoopback(testing::FromHex("ff000382010187"));
        QTest::qWait(500);
        QVERIFY(program->Running());
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

#include "program_tests.moc"
