// The program itself, run as a process (offscreen): start-up sends the first
// scan, a termination signal takes the way out of closing the window, also
// while a listener waits on an open notice box.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <memory>

#include "qt_support.h"

namespace melvorin::uitest {

using testing::NextHex;
using testing::UdpPeer;

class ProgramTests : public QObject {
    Q_OBJECT

    std::unique_ptr<UdpPeer> device;
    std::unique_ptr<QProcess> program;

    void Start() {
        program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program->setProcessEnvironment(env);
        program->setProcessChannelMode(QProcess::ForwardedChannels);
        program->start(QStringLiteral(MELVORIN_PROGRAM), {});
        QVERIFY(program->waitForStarted());
    }

    // SIGTERM, then the exit code of an orderly shut-down.
    void TerminateAndExpectCleanExit() {
        program->terminate();
        QVERIFY2(program->waitForFinished(15000), "the program did not end");
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        // The endpoint was closed: port 12345 is free.
        QVERIFY(testing::PortFree(12345));
    }

private slots:
    void init() {
        device = std::make_unique<UdpPeer>();
        QVERIFY(device->Bind("", 1902));
    }
    void cleanup() {
        if (program && program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished();
        }
        program.reset();
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
        QCOMPARE(program->state(), QProcess::Running);
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
            QCOMPARE(program->state(), QProcess::Running);
            program->terminate();
            QVERIFY2(program->waitForFinished(15000), "the program did not end");
        }
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
    }
};

std::unique_ptr<QObject> MakeProgramTests() { return std::make_unique<ProgramTests>(); }

}  // namespace melvorin::uitest

#include "program_tests.moc"
