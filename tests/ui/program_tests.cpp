// The program itself, run as a process (offscreen): start-up sends the first
// scan, a termination signal takes the way out of closing the window, also
// while a listener waits on an open notice box.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <memory>

#include "support.h"

namespace melvorin::uitest {

class ProgramTests : public QObject {
    Q_OBJECT

    std::unique_ptr<Device> device;
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
        QUdpSocket again;
        QVERIFY(again.bind(QHostAddress::AnyIPv4, 12345, QAbstractSocket::DontShareAddress));
    }

private slots:
    void init() {
        device = std::make_unique<Device>();
        QVERIFY(device->Bound());
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
        quint16 sourcePort = 0;
        QCOMPARE(device->Receive(10000, &sourcePort), QByteArray::fromHex("ff00010102"));
        QCOMPARE(sourcePort, quint16(12345));
        QByteArray payload = QByteArray::fromHex("01") + "AB" + QByteArray::fromHex("00320d0a");
        device->Send(Frame(0x81, payload));
        QTest::qWait(300);
        TerminateAndExpectCleanExit();
    }

    void endsWhileANoticeHoldsItsListener() {
        Start();
        QCOMPARE(device->Receive(10000), QByteArray::fromHex("ff00010102"));
        // A join result opens a real modal notice; its listener waits on it.
        device->Send(QByteArray::fromHex("ff000382010187"));
        QTest::qWait(500);
        QCOMPARE(program->state(), QProcess::Running);
        TerminateAndExpectCleanExit();
    }

    void endsWhileTheStartUpErrorBoxIsOpen() {
        {
            // Port 12345 taken: the first scan's error box opens before the
            // window and before the main loop.
            QUdpSocket blocker;
            QVERIFY(blocker.bind(QHostAddress::AnyIPv4, 12345, QAbstractSocket::DontShareAddress));
            Start();
            QVERIFY(device->Receive(1000).isNull());
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
