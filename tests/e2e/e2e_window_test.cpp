// The window's side of the end-to-end test: the real TForm2 (offscreen) on
// the tool host, melvorin-devsim on the device host of segment B, another
// host on segment A (which holds the default route), all set up by
// run_e2e.sh. Notices are recorded instead of shown, so nothing blocks; every
// datagram travels the real sockets and listener threads.

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QtTest/QtTest>
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/options.h"
#include "devsim/sealed.h"
#include "protocol/join.h"
#include "units/pins.h"
#include "netns_links.h"
#include "qt_support.h"
#include "qt/form2.h"
#include "qt/status_line.h"
#include "qt/widgets.h"
#include "wire.h"

namespace {

using melvorin::testing::RecordingBoxes;
using melvorin::testing::UdpPeer;
using melvorin::qt::TForm2;
using namespace melvorin::testing::controls;

constexpr int kWaitMs = 10000;

// The window as the user drives it, and what it shows.
class WindowDriver {
protected:
    RecordingBoxes boxes_;
    std::unique_ptr<TForm2> form_;

    QStringList Captions() const {
        QStringList rows;
        for (int r = 0; r < LvSsid(*form_)->rowCount(); ++r) {
            const QTableWidgetItem* caption = LvSsid(*form_)->item(r, 0);
            const QTableWidgetItem* strength = LvSsid(*form_)->item(r, 1);
            rows << (caption ? caption->text() : QString()) + " " + (strength ? strength->text() : QString());
        }
        return rows;
    }

    // A real double-click in the middle of `row`, with `key` typed in the key
    // box; returns the one notice that the device's answer brings.
    QString JoinRow(int row, const QString& key) {
        DoubleClickRow(row, key);
        [&] { QVERIFY(QTest::qWaitFor([&] { return !boxes_.notices.isEmpty(); }, kWaitMs)); }();
        QTest::qWait(100);  // a second answer would be a fault
        if (boxes_.notices.size() != 1) return QStringLiteral("<%1 notices>").arg(boxes_.notices.size());
        return boxes_.notices.first();
    }

    void DoubleClickRow(int row, const QString& key) {
        EdtKey(*form_)->setText(key);
        boxes_.notices.clear();
        QHeaderView* header = LvSsid(*form_)->verticalHeader();
        const QPoint centre(LvSsid(*form_)->columnViewportPosition(0) + 20,
                            header->sectionViewportPosition(row) + header->sectionSize(row) / 2);
        QTest::mouseDClick(LvSsid(*form_)->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    const QStringList kDeviceRows{QStringLiteral("HomeNet 82%"), QStringLiteral("办公室WiFi 67%"),
                                  QStringLiteral("Cafe_Guest 45%"), QStringLiteral("Lab-2.4G 23%")};

    // What the endpoint's log dropped, from any thread; set before the
    // endpoint opens.
    struct DroppedLog {
        std::mutex lock;
        QStringList dropped;
    };
    std::shared_ptr<DroppedLog> dropped_ = std::make_shared<DroppedLog>();
    QStringList Dropped() {
        const std::lock_guard<std::mutex> hold(dropped_->lock);
        return dropped_->dropped;
    }

    void Open() {
        form_ = std::make_unique<TForm2>(boxes_, melvorin::testing::WindowHandOver());
        Idpsrvr1(*form_)->OnLog = [log = dropped_](const melvorin::net::TIdLogEntry& entry) {
            const std::lock_guard<std::mutex> hold(log->lock);
            if (entry.Kind == melvorin::net::TIdLogKind::Dropped) log->dropped << QString::fromStdString(entry.Message);
        };
        form_->FormCreate();
        form_->ShowCentred();
        QVERIFY(boxes_.errors.isEmpty());
    }

    void Close() {
        form_->hide();
        form_->CloseEndpoint();
        form_.reset();
        QVERIFY2(boxes_.errors.isEmpty(), qPrintable(boxes_.errors.join("; ")));
    }
};

class E2eWindow : public QObject, WindowDriver {
    Q_OBJECT

private slots:
    void initTestCase() { Open(); }
    void cleanupTestCase() { Close(); }

    // The scan sent at creation fills the list from the device, the GBK
    // caption shown as its Chinese characters.
    void scanAtCreationListsTheDevicesNetworks() {
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
    }

    void joinWithAGoodKeyIsAccepted() {
        QCOMPARE(JoinRow(0, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgJoined));
        // The Chinese SSID goes back as the very bytes the device sent.
        QCOMPARE(JoinRow(1, QStringLiteral("12345678")), QString::fromUtf8(melvorin::kMsgJoined));
    }

    void joinWithAShortKeyIsRefused() {
        QCOMPARE(JoinRow(2, QStringLiteral("short")), QString::fromUtf8(melvorin::kMsgKeyWrong));
    }

    // A list reply from elsewhere (another host) names a network the device
    // does not know. The broadcast join request reaches the device, but its
    // verdict comes from another host than the shown list: only counted.
    void joinOfAListFromElsewhereShowsNoOtherDevicesVerdict() {
        melvorin::devsim::DeviceConfig other;
        other.networks.push_back({melvorin::TIdBytes{'G', 'h', 'o', 's', 't'}, 50});
        const melvorin::TIdBytes reply = melvorin::devsim::BuildListReply(other);
        melvorin::testing::UdpPeer elsewhere;
        QVERIFY(elsewhere.SendToLoopback(reply));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), QStringList{QStringLiteral("Ghost 50%")}, kWaitMs);

        const int unasked = form_->UnaskedResults();
        DoubleClickRow(0, QStringLiteral("correct horse"));
        QTRY_COMPARE_WITH_TIMEOUT(form_->UnaskedResults(), unasked + 1, kWaitMs);
        QTest::qWait(100);
        QCOMPARE(boxes_.notices, QStringList());
    }

    // The scan button brings the device's list back.
    void rescanRestoresTheList() {
        QTest::mouseClick(BtnSearch(*form_), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(JoinRow(3, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgJoined));
    }
};


// Three hosts: the default route leads to segment A, the device is alone on
// segment B. A host on segment A listens on the search port and sends what
// any host there could.
class SegmentsDriver : protected WindowDriver {
protected:
    std::unique_ptr<UdpPeer> lanHost_;
    const QString lanIf_ = qEnvironmentVariable("MELVORIN_E2E_LAN_IF");
    const QString deviceIf_ = qEnvironmentVariable("MELVORIN_E2E_DEVICE_IF");
    const QString kScan = QStringLiteral("ff00010102");

    // A socket of the host on segment A, bound to `port`.
    static std::unique_ptr<UdpPeer> OnSegmentA(std::uint16_t port) {
        melvorin::testing::ScopedNetns lan(qEnvironmentVariable("MELVORIN_E2E_LAN_NS").toStdString());
        if (!lan.Problem().empty()) return nullptr;
        auto peer = std::make_unique<UdpPeer>();
        return peer->Bind("", port) ? std::move(peer) : nullptr;
    }

    // What reached segment A's host on the search port since the last call.
    QStringList HeardOnSegmentA() {
        QStringList heard;
        while (const auto got = lanHost_->Receive(300)) heard << melvorin::testing::Hex(got->data);
        return heard;
    }

    // Segment A's host answers with a list of its own; the window shows it.
    void ListFromSegmentA() {
        melvorin::devsim::DeviceConfig other;
        other.networks.push_back({melvorin::TIdBytes{'L', 'a', 'n'}, 10});
        QVERIFY(lanHost_->SendTo("10.213.8.1", 12345, melvorin::devsim::BuildListReply(other)));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), QStringList{QStringLiteral("Lan 10%")}, kWaitMs);
    }

    std::vector<std::string> Sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }

    void OpenOnSegments() {
        QVERIFY2(!lanIf_.isEmpty() && !deviceIf_.isEmpty(), "run by run_e2e.sh only");
        lanHost_ = OnSegmentA(1902);
        QVERIFY(lanHost_);
        Open();
    }
};

class E2eSegments : public QObject, SegmentsDriver {
    Q_OBJECT

private slots:
    void initTestCase() { OpenOnSegments(); }
    void cleanupTestCase() { Close(); }

    void startUpScanReachesBothSegments() {
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(Sorted(Idpsrvr1(*form_)->LastSendInterfaces()),
                 Sorted({lanIf_.toStdString(), deviceIf_.toStdString()}));
        QCOMPARE(HeardOnSegmentA(), QStringList{kScan});
    }

    // The join carries the key in clear: segment A never hears it.
    void joinStaysOnTheDevicesSegment() {
        QCOMPARE(JoinRow(0, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgJoined));
        QCOMPARE(Idpsrvr1(*form_)->LastSendInterfaces(), std::vector<std::string>{deviceIf_.toStdString()});
        QCOMPARE(HeardOnSegmentA(), QStringList());
    }

    void scanWithoutADefaultRoute() {
        ListFromSegmentA();
        QVERIFY(melvorin::testing::Ip("route del default"));
        QTest::mouseClick(BtnSearch(*form_), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(boxes_.errors, QStringList());
        QCOMPARE(HeardOnSegmentA(), QStringList{kScan});
    }

    // Results nobody asked for, a forged success among them, from any host:
    // no notice, and the window goes on working.
    void unaskedResultsFromSegmentAOpenNothing() {
        const auto sender = OnSegmentA(0);
        QVERIFY(sender);
        boxes_.notices.clear();
        const int before = form_->UnaskedResults();
        // In batches that the window has handled before the next one comes,
        // so that none is lost in a full receive queue however slow the build.
        for (int i = 0; i < 200; ++i) {
            QVERIFY(sender->SendTo("10.213.8.1", 12345, melvorin::devsim::BuildJoinResult(i % 2 == 0, true)));
            if (i % 50 == 49) QTRY_COMPARE_WITH_TIMEOUT(form_->UnaskedResults(), before + i + 1, kWaitMs);
        }
        QCOMPARE(boxes_.notices, QStringList());
        ListFromSegmentA();
        QTest::mouseClick(BtnSearch(*form_), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(HeardOnSegmentA(), QStringList{kScan});
    }

    void resultOfARealJoinOpensTheNotice() {
        const int before = form_->UnaskedResults();
        QCOMPARE(JoinRow(1, QStringLiteral("12345678")), QString::fromUtf8(melvorin::kMsgJoined));
        QCOMPARE(form_->UnaskedResults(), before);
        QCOMPARE(HeardOnSegmentA(), QStringList());
    }
};

// The device offers the sealed join (melvorin-devsim --sealed); the host on
// segment A is a unit of the protocol alone, its hardware address known.
// The pins are in run_e2e.sh's folder (XDG_STATE_HOME).
class E2eSealed : public QObject, SegmentsDriver {
    Q_OBJECT

    const std::string lanMac_ = "02:00:00:00:00:08";

    QString Status() { return LblStatus(*form_)->text(); }

private slots:
    void initTestCase() {
        QVERIFY(melvorin::testing::Ip("neigh replace 10.213.8.2 lladdr " + lanMac_ + " dev " +
                                      lanIf_.toStdString() + " nud permanent"));
        OpenOnSegments();
    }
    void cleanupTestCase() { Close(); }

    // The device's list looks as ever; the join goes sealed (run_e2e.sh
    // finds it opened in the device's log), its key pinned, its verdict
    // shown, and the line says so.
    void sealedJoinToTheDeviceThatOffersIt() {
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(HeardOnSegmentA(), QStringList{kScan});
        QString lineAtNotice;
        boxes_.onNotice = [&](const QString&) { lineAtNotice = Status(); };
        QCOMPARE(JoinRow(0, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgJoined));
        boxes_.onNotice = {};  // it writes to this function's own line
        QCOMPARE(lineAtNotice, QStringLiteral("The device answered the join request for \u201cHomeNet\u201d, sent "
                                              "sealed: ") + QString::fromUtf8(melvorin::kMsgJoined));
        const melvorin::units::PinStore pins(melvorin::units::PinStore::DefaultPath());
        QCOMPARE(pins.All().size(), std::size_t{1});
        QVERIFY(pins.All().begin()->first != lanMac_);
        QCOMPARE(HeardOnSegmentA(), QStringList());
    }

    // The device joined, and announces itself on that network, a link of the
    // tool host (run_e2e.sh): the line says where. An announcement from there
    // with its hardware address but without the sealed join's tag is dropped.
    void joinedDeviceIsOnlineOnTheTargetLink() {
        const QString online = QStringLiteral("online at 10.213.9.57");
        QTRY_COMPARE_WITH_TIMEOUT(Status(), online, kWaitMs);
        auto forger = std::make_unique<UdpPeer>();
        {
            melvorin::testing::ScopedNetns device(qEnvironmentVariable("MELVORIN_E2E_DEV_NS").toStdString());
            QVERIFY2(device.Problem().empty(), device.Problem().c_str());
            forger = std::make_unique<UdpPeer>();
            QVERIFY(forger->Bind("10.213.9.57", 0));
        }
        const auto untagged =
            melvorin::testing::Frame(0x84, {0x01, 0x02, 0x00, 0x00, 0x00, 0x41, 0x07, 10, 213, 9, 66, 0x00});
        QVERIFY(forger->SendTo("10.213.9.1", 12345, untagged));
        QTRY_VERIFY_WITH_TIMEOUT(Dropped().join('\n').contains(QStringLiteral("EForgedOnline")), kWaitMs);
        QCOMPARE(Status(), online);
    }

    // A unit of the protocol alone gets today's join request, byte for byte.
    void clearJoinToAUnitWithoutTheSeal() {
        ListFromSegmentA();
        DoubleClickRow(0, QStringLiteral("correct horse"));
        const auto today = melvorin::testing::JoinRequest({'L', 'a', 'n'}, melvorin::testing::BytesOf("correct horse"));
        QCOMPARE(HeardOnSegmentA(), QStringList{melvorin::testing::Hex(today)});
        QCOMPARE(Status(), QStringLiteral("Join request for \u201cLan\u201d sent in clear on %1; waiting for the "
                                          "device\u2026").arg(lanIf_));
        // While it waits, the unit's announcement, untagged after a clear
        // join, is taken on its hardware address alone.
        const auto announced =
            melvorin::testing::Frame(0x84, {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x08, 10, 213, 9, 71, 0x00});
        QVERIFY(lanHost_->SendTo("10.213.8.1", 12345, announced));
        QTRY_COMPARE_WITH_TIMEOUT(Status(), QStringLiteral("online at 10.213.9.71"), kWaitMs);
    }

    // Once pinned, a unit that answers without the seal is refused: the
    // error box, and nothing sent.
    void pinnedUnitWithoutTheSealIsRefused() {
        melvorin::units::PinStore pins(melvorin::units::PinStore::DefaultPath());
        const melvorin::units::PinnedKey deviceKey = pins.All().begin()->second;
        pins.Pin(lanMac_, deviceKey);
        ListFromSegmentA();
        boxes_.errors.clear();
        DoubleClickRow(0, QStringLiteral("correct horse"));
        QTRY_VERIFY_WITH_TIMEOUT(!boxes_.errors.isEmpty(), kWaitMs);
        QCOMPARE(boxes_.errors, QStringList{QStringLiteral("The device at 10.213.8.2 (%1): the unit offered a sealed "
                                                           "join before; refused to send the key in clear.")
                                                .arg(QString::fromStdString(lanMac_))});
        boxes_.errors.clear();
        QCOMPARE(HeardOnSegmentA(), QStringList());
    }

    // Segment A's host as a unit that offers the seal (the unit library, in
    // this process), first seen: a result without the sealed join's tag
    // opens nothing and is not even counted; the tagged one is shown.
    void sealedJoinTakesOnlyItsTaggedResult() {
        QVERIFY(melvorin::units::PinStore(melvorin::units::PinStore::DefaultPath()).Forget(lanMac_));
        QTemporaryDir folder;
        melvorin::devsim::SealedUnit unit(folder.filePath(QStringLiteral("unit.key")).toStdString());
        melvorin::devsim::DeviceConfig config;
        config.networks.push_back({melvorin::TIdBytes{'S', 'e', 'a', 'l'}, 10});
        const auto list = unit.Handle(melvorin::testing::kScanRequestBytes, config);
        QVERIFY(list && lanHost_->SendTo("10.213.8.1", 12345, *list));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), QStringList{QStringLiteral("Seal 10%")}, kWaitMs);

        DoubleClickRow(0, QStringLiteral("correct horse"));
        const auto join = lanHost_->Receive(kWaitMs);
        QVERIFY(join && join->data.size() > 3 && join->data[3] == 0x03);
        const int unasked = form_->UnaskedResults();
        QVERIFY(lanHost_->SendTo("10.213.8.1", 12345, melvorin::devsim::BuildJoinResult(true, true)));
        QTest::qWait(300);
        QCOMPARE(boxes_.notices, QStringList());
        QCOMPARE(form_->UnaskedResults(), unasked);
        const auto result = unit.Handle(join->data, config);
        QVERIFY(result && lanHost_->SendTo("10.213.8.1", 12345, *result));
        QTRY_COMPARE_WITH_TIMEOUT(boxes_.notices, QStringList{QString::fromUtf8(melvorin::kMsgJoined)}, kWaitMs);
        QVERIFY(melvorin::units::PinStore(melvorin::units::PinStore::DefaultPath()).Find(lanMac_));
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return melvorin::testing::RunQtSuite(argc, argv, {{"window", [] { return std::make_unique<E2eWindow>(); }},
                                                   {"segments", [] { return std::make_unique<E2eSegments>(); }},
                                                   {"sealed", [] { return std::make_unique<E2eSealed>(); }}});
}

#include "e2e_window_test.moc"
