// The real window under a flood of hostile datagrams sent by another process
// to 127.0.0.1:12345 (and [::1]:12345 where the window has its IPv6 binding).
// Afterwards the window must still be whole: its listeners deliver a valid
// list reply, its scan button sends, and its memory has not grown.

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "net/udp_server.h"
#include "protocol/cp936.h"
#include "protocol/join.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "window_fixture.h"
#include "qt/form2.h"
#include "qt/widgets.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MELVORIN_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MELVORIN_SANITIZED 1
#endif
#endif

namespace melvorin::hardening {

using namespace melvorin::testing;

namespace {

const QString kScan = Hex(kScanRequestBytes);

// VmRSS of this process in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}
// Datagrams per second: ten seconds for the burst, several times what the
// window can handle, so that it is saturated throughout.
const char* const kRate = "20000";

// Runs the flood sender with `arguments` to its end while the window's
// thread keeps handling events; returns its summary line, or an empty text
// (and its stderr) when it failed.
QString RunSender(const std::vector<std::string>& arguments, const std::function<void()>& meanwhile = {}) {
    ChildProcess sender(MELVORIN_FLOOD_SENDER, arguments);
    const int code = sender.WaitExit(600'000, [&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (meanwhile) meanwhile();
    });
    if (code != 0) {
        std::fprintf(stderr, "flood sender failed (%d): %s\n", code, sender.Stderr().c_str());
        return {};
    }
    return QString::fromStdString(sender.Stdout()).trimmed();
}

long Field(const QString& summary, const QString& name) {
    for (const QString& part : summary.split(QLatin1Char(' '))) {
        if (part.startsWith(name + QLatin1Char('='))) return part.mid(name.size() + 1).toLong();
    }
    return -1;
}

}  // namespace

class FloodTests : public QObject, WindowFixture<> {
    Q_OBJECT

private slots:
    void init() { SetUpWindow(); }
    void cleanup() { TearDownWindow(); }

    void burstLeavesTheWindowWorking() {

        // Count what the window's handler gets, then hand it on unchanged.
        long handled = 0;
        long long handledBytes = 0;
        form->Logic().SetReadHooks({[&](const TIdBytes& data) {
                                        ++handled;
                                        handledBytes += static_cast<long long>(data.size());
                                    },
                                    {}});

        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        form->ShowCentred();
        std::uint16_t sourcePort = 0;
        const bool twoBindings = Idpsrvr1(*form)->Bindings().Count() == 2;

        // Warm up every path once (list, notices, code page tables, a short
        // burst) so that what is measured is growth, not first use.
        QVERIFY(device->SendToLoopback(ListReply(2, {{BytesOf("warm"), 1}, {{0xC4, 0xE3}, 2}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 2);
        QVERIFY(testing::AskForJoinResult(*form, *device));
        QVERIFY(device->SendToLoopback(JoinResult(1, 1)));
        QTRY_COMPARE(boxes->noticeCount, 1L);
        const std::string v6Share = twoBindings ? "25" : "0";
        const QString warmSummary = RunSender({"--count", "5000", "--seconds", "20", "--seed", "7", "--ipv6-percent", v6Share});
        QVERIFY2(Field(warmSummary, "sent") > 0, qPrintable(warmSummary));
        QTest::qWait(300);

        const long rssBefore = ResidentKb();
        const long handledBefore = handled;
        const long long handledBytesBefore = handledBytes;
        const long noticesBefore = boxes->noticeCount;

        // The burst, with a scan-button press posted to the event loop while
        // it runs: the press waits behind the hand-overs, not behind the
        // whole burst.
        QElapsedTimer clock;
        clock.start();
        qint64 pressedAt = -1;
        qint64 scanArrivedAfter = -1;
        device->Drain();
        const QString summary = RunSender(
            {"--count", "200000", "--seconds", "90", "--seed", "12345", "--ipv6-percent", v6Share, "--rate", kRate},
            [&] {
                if (pressedAt < 0 && clock.elapsed() > 20) {
                    pressedAt = clock.elapsed();
                    QTimer::singleShot(0, form.get(), [&] { QTest::mouseClick(BtnSearch(*form), Qt::LeftButton); });
                }
                if (pressedAt >= 0 && scanArrivedAfter < 0 && NextHex(*device, 0) == kScan) {
                    scanArrivedAfter = clock.elapsed() - pressedAt;
                }
            });
        const qint64 burstMs = clock.elapsed();
        QVERIFY2(!summary.isEmpty(), "the flood sender failed");
        const long sent = Field(summary, QStringLiteral("sent"));
        QVERIFY2(sent >= 200000, qPrintable(summary));

        // Let the listeners hand over what is still queued in their sockets.
        long last = -1;
        QElapsedTimer drain;
        drain.start();
        while (last != handled && drain.elapsed() < 60000) {
            last = handled;
            QTest::qWait(300);
        }
        QCOMPARE(last, handled);
        const long rssAfter = ResidentKb();

        // Still whole: a valid list reply shows its rows ...
        const TIdBytes after = ListReply(1, {{BytesOf("after-flood"), 77}, {BytesOf("second"), 1}});
        QVERIFY(device->SendToLoopback(after));
        QTRY_VERIFY(LvSsid(*form)->rowCount() == 2 &&
                    LvSsid(*form)->item(0, 0)->text() == QStringLiteral("after-flood"));
        QCOMPARE(LvSsid(*form)->item(0, 1)->text(), QStringLiteral("77%"));
        QCOMPARE(State().SsidTable[1], BytesOf("second"));
        // ... and the scan button sends at once.
        device->Drain();
        QElapsedTimer press;
        press.start();
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        const QString received = NextHex(*device, 2000, &sourcePort);
        const qint64 pressMs = press.elapsed();
        QCOMPARE(received, kScan);
        QCOMPARE(sourcePort, std::uint16_t{12345});
        QCOMPARE(boxes->errors, QStringList());
        for (const QString& text : boxes->notices) {
            QVERIFY2(text == QString::fromUtf8(kMsgJoined) || text == QString::fromUtf8(kMsgKeyWrong) ||
                         text == QString::fromUtf8(kMsgSsidWrong),
                     qPrintable(text));
        }
        QVERIFY2(scanArrivedAfter >= 0, "the scan pressed during the burst never went out");

        std::printf("flood: sender %s\n", qPrintable(summary));
        std::printf("flood: sent %ld datagrams in %lld ms; handled %ld (%lld bytes), %ld notices; "
                    "scan pressed during the burst went out after %lld ms, after it after %lld ms\n",
                    sent, static_cast<long long>(burstMs), handled - handledBefore, handledBytes - handledBytesBefore,
                    boxes->noticeCount - noticesBefore, static_cast<long long>(scanArrivedAfter),
                    static_cast<long long>(pressMs));
        std::printf("flood: VmRSS before %ld kB, after %ld kB, growth %ld kB\n", rssBefore, rssAfter,
                    rssAfter - rssBefore);
        std::fflush(stdout);
        QVERIFY(handled - handledBefore > 0);
#ifdef MELVORIN_SANITIZED
        std::printf("flood: memory growth not judged in a sanitizer build (its allocator keeps freed memory)\n");
#else
        QVERIFY2(rssAfter - rssBefore < 10 * 1024, "resident memory grew by 10 MB or more");
#endif
        form->hide();
        form->CloseEndpoint();
    }
};

std::unique_ptr<QObject> MakeFloodTests() { return std::make_unique<FloodTests>(); }

}  // namespace melvorin::hardening

#include "flood_test.moc"
