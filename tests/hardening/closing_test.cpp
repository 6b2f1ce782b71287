// The program's way out while real modal notice boxes hold the listeners:
// the event loop is ended (as a close or a termination signal ends it) with
// a notice open for the IPv4 listener and the IPv6 listener handing over,
// then the window closes its endpoint as the program does. Nothing may lock
// up, and nothing may be shown once the closing has begun.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "net/handover.h"
#include "net/udp_server.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "qt/boxes.h"
#include "qt/form2.h"
#include "window_fixture.h"

namespace melvorin::hardening {

using namespace melvorin::testing;

namespace {

// The program's real notice box, counted.
class CountingSystemBoxes : public qt::TSystemBoxes {
public:
    void ShowNotice(const std::string& text) override {
        ++shown;
        if (closing) ++shownWhileClosing;
        qt::TSystemBoxes::ShowNotice(text);
    }
    void ShowError(const std::string& text) override { errors << QString::fromStdString(text); }
    int shown = 0;
    int shownWhileClosing = 0;
    bool closing = false;
    QStringList errors;
};

int OpenNoticeBoxes() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && qobject_cast<qt::TNoticeBox*>(w) != nullptr) ++open;
    }
    return open;
}

// Ends the process if a case locks up, so that the run fails with a reason
// instead of waiting for the test driver's time-out.
class Watchdog {
public:
    Watchdog(const char* what, int seconds) : thread_([this, what, seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished_; })) {
            std::fprintf(stderr, "locked up: %s did not end within %d s\n", what, seconds);
            std::fflush(stderr);
            std::_Exit(3);
        }
    }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace

class ClosingTests : public QObject, WindowFixture<CountingSystemBoxes> {
    Q_OBJECT

    std::unique_ptr<UdpPeer> device6;

    // Start-up as the program does it, with both bindings.
    // A join request waits for its result.
    void Start() {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        if (Idpsrvr1(*form)->Bindings().Count() < 2) QSKIP("no IPv6 binding: a second listener is needed");
        QVERIFY(AskForJoinResult(*form, *device));
        form->ShowCentred();
    }

    // Sends a join result to the IPv4 listener (its notice opens) and runs the
    // event loop, calling `tick` every 10 ms until it returns true.
    int RunUntil(const std::function<bool()>& tick) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!tick()) return;
            poll.stop();
            QCoreApplication::exit(0);
        });
        poll.start(10);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
        if (!device->SendToLoopback(JoinResult(1, 1))) return -1;
        return QApplication::exec();
    }

    // The program's way out after its event loop: hide, close the endpoint
    // (quickly, and showing nothing), datagrams that come now reach nothing.
    void EndAsTheProgramDoes(const char* situation) {
        form->hide();
        boxes->closing = true;
        QElapsedTimer clock;
        clock.start();
        form->CloseEndpoint();
        const qint64 took = clock.elapsed();
        device->SendToLoopback(JoinResult(1, 1));
        device6->SendToLoopback(JoinResult(1, 1));
        QTest::qWait(100);
        form.reset();
        std::printf("closing: endpoint closed in %lld ms %s\n", static_cast<long long>(took), situation);
        QVERIFY2(took < 3000, "closing the endpoint took 3 s or more");
        QCOMPARE(boxes->shownWhileClosing, 0);
        QCOMPARE(OpenNoticeBoxes(), 0);
        QVERIFY(!WindowHandOver().RunQueued());  // nothing left behind
        QVERIFY(PortFree(12345, AF_INET6));
    }

private slots:
    void init() {
        device6 = std::make_unique<UdpPeer>(AF_INET6);
        SetUpWindow();
    }

    void cleanup() {
        form.reset();
        device6.reset();
        TearDownWindow();
        QVERIFY(PortFree(12345, AF_INET));
    }

    // A notice open for the IPv4 listener; a repeat of the result handed
    // over by the IPv6 listener inside it opens nothing: the program ends
    // from inside the one notice.
    void endWhileANoticeIsOpenAfterARepeat() {
        Watchdog watchdog("ending with a notice open", 60);
        Start();
        if (QTest::currentTestFailed()) return;
        int step = 0;
        const int code = RunUntil([&] {
            if (step == 0 && OpenNoticeBoxes() == 1) {
                step = 1;
                device6->SendToLoopback(JoinResult(0, 1));
            } else if (step == 1 && form->UnaskedResults() == 1) {
                step = 2;
            }
            return step == 2;
        });
        QCOMPARE(code, 0);
        QCOMPARE(boxes->shown, 1);
        QCOMPARE(Idpsrvr1(*form)->ListenerCount(), 2);  // both still running
        EndAsTheProgramDoes("after a repeat inside the open notice");
    }

    // A notice open for the IPv4 listener while the IPv6 listener has queued
    // its hand-over and waits for it: the program ends from inside the
    // notice, and the closing runs the waiting hand-over without showing it.
    void endWhileTheSecondListenerWaitsToHandOver() {
        Watchdog watchdog("ending with a hand-over waiting", 60);
        Start();
        if (QTest::currentTestFailed()) return;
        bool queued = false;
        const int code = RunUntil([&] {
            if (OpenNoticeBoxes() != 1) return false;
            device6->SendToLoopback(JoinResult(0, 0));
            // Wait here, without running it, until the IPv6 listener has
            // queued its hand-over.
            queued = WindowHandOver().WaitForQueued(3000);
            return true;
        });
        QCOMPARE(code, 0);
        QVERIFY(queued);
        EndAsTheProgramDoes("with a hand-over waiting");
        QCOMPARE(boxes->shown, 1);
    }
};

std::unique_ptr<QObject> MakeClosingTests() { return std::make_unique<ClosingTests>(); }

}  // namespace melvorin::hardening

#include "closing_test.moc"
