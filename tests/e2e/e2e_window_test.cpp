// The window's side of the end-to-end test: the real TForm2 (offscreen) on
// the tool host, melvorin-devsim on the device host behind a veth pair, both
// set up by run_e2e.sh. Notices are recorded instead of shown, so nothing
// blocks; every datagram travels the real sockets and listener threads.

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QtTest/QtTest>
#include <memory>

#include "devsim/device.h"
#include "devsim/options.h"
#include "protocol/join.h"
#include "qt_support.h"
#include "ui/form2.h"
#include "ui/widgets.h"

namespace {

using melvorin::testing::RecordingBoxes;
using melvorin::ui::TForm2;

constexpr int kWaitMs = 10000;

class E2eWindow : public QObject {
    Q_OBJECT

private:
    RecordingBoxes boxes_;
    std::unique_ptr<TForm2> form_;

    QStringList Captions() const {
        QStringList rows;
        for (int r = 0; r < form_->lvSsid->rowCount(); ++r) {
            const QTableWidgetItem* caption = form_->lvSsid->item(r, 0);
            const QTableWidgetItem* strength = form_->lvSsid->item(r, 1);
            rows << (caption ? caption->text() : QString()) + " " + (strength ? strength->text() : QString());
        }
        return rows;
    }

    // A real double-click in the middle of `row`, with `key` typed in the key
    // box; returns the one notice that the device's answer brings.
    QString JoinRow(int row, const QString& key) {
        form_->edtKey->setText(key);
        boxes_.notices.clear();
        QHeaderView* header = form_->lvSsid->verticalHeader();
        const QPoint centre(form_->lvSsid->columnViewportPosition(0) + 20,
                            header->sectionViewportPosition(row) + header->sectionSize(row) / 2);
        QTest::mouseDClick(form_->lvSsid->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        [&] { QVERIFY(QTest::qWaitFor([&] { return !boxes_.notices.isEmpty(); }, kWaitMs)); }();
        QTest::qWait(100);  // a second answer would be a fault
        if (boxes_.notices.size() != 1) return QStringLiteral("<%1 notices>").arg(boxes_.notices.size());
        return boxes_.notices.first();
    }

    const QStringList kDeviceRows{QStringLiteral("HomeNet 82%"), QStringLiteral("办公室WiFi 67%"),
                                  QStringLiteral("Cafe_Guest 45%"), QStringLiteral("Lab-2.4G 23%")};

private slots:
    void initTestCase() {
        form_ = std::make_unique<TForm2>(boxes_, melvorin::testing::WindowHandOver());
        form_->FormCreate();
        form_->ShowCentred();
        QVERIFY(boxes_.errors.isEmpty());
    }

    void cleanupTestCase() {
        form_->hide();
        form_->CloseEndpoint();
        form_.reset();
        QVERIFY2(boxes_.errors.isEmpty(), qPrintable(boxes_.errors.join("; ")));
    }

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

    // A list reply from elsewhere (another device, or the network went away)
    // names a network this device does not know: its join gets the SSID
    // verdict.
    void joinOfANetworkTheDeviceDoesNotKnow() {
        melvorin::devsim::DeviceConfig other;
        other.networks.push_back({melvorin::TIdBytes{'G', 'h', 'o', 's', 't'}, 50});
        const melvorin::TIdBytes reply = melvorin::devsim::BuildListReply(other);
        melvorin::testing::UdpPeer elsewhere;
        QVERIFY(elsewhere.SendToLoopback(reply));
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), QStringList{QStringLiteral("Ghost 50%")}, kWaitMs);

        QCOMPARE(JoinRow(0, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgSsidWrong));
    }

    // The scan button brings the device's list back.
    void rescanRestoresTheList() {
        QTest::mouseClick(form_->btnSearch, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Captions(), kDeviceRows, kWaitMs);
        QCOMPARE(JoinRow(3, QStringLiteral("correct horse")), QString::fromUtf8(melvorin::kMsgJoined));
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return melvorin::testing::RunQtSuite(argc, argv, {{"window", [] { return std::make_unique<E2eWindow>(); }}});
}

#include "e2e_window_test.moc"
