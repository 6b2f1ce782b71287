// The window in a network namespace whose IPv6 is switched off (set up by
// the test program's main before anything else runs): one binding, one
// listener, and scan, list, join and notice all work over IPv4.

#include <QTest>
#include <fstream>
#include <memory>
#include <string>

#include "net/udp_server.h"
#include "protocol/state.h"
#include "support.h"
#include "ui/form2.h"
#include "ui/widgets.h"
#include "window_helpers.h"

namespace melvorin::hardening {

class IPv6OffTests : public QObject {
    Q_OBJECT

private slots:
    void windowWorksWithOneBinding() {
        std::string off;
        std::ifstream("/proc/sys/net/ipv6/conf/all/disable_ipv6") >> off;
        QCOMPARE(off, std::string("1"));
        QVERIFY(!IPv6Here());

        ReleaseState();
        RecordingBoxes boxes;
        UdpSocket device(1902);
        QVERIFY(device.Bound());
        auto form = std::make_unique<ui::TForm2>(boxes);
        form->FormCreate();
        QCOMPARE(boxes.errors, QStringList());
        TIdBytes data;
        std::uint16_t sourcePort = 0;
        QVERIFY(device.Receive(data, 3000, &sourcePort));
        QCOMPARE(data, TIdBytes({0xFF, 0x00, 0x01, 0x01, 0x02}));
        QCOMPARE(sourcePort, std::uint16_t{12345});
        QCOMPARE(form->idpsrvr1->Bindings().Count(), 1);
        QCOMPARE(form->idpsrvr1->ListenerCount(), 1);
        QVERIFY(form->idpsrvr1->Active());

        form->ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(device.SendToLoopback(ListReply(1, {{Bytes("v4-only"), 42}, {Bytes("other"), 7}})));
        QTRY_COMPARE(form->lvSsid->rowCount(), 2);
        QCOMPARE(form->lvSsid->item(0, 1)->text(), QStringLiteral("42%"));

        form->edtKey->setText(QStringLiteral("12345678"));
        DoubleClickRow(*form, 0);
        QVERIFY(device.Receive(data, 2000));
        TIdBytes payload = {0x00};
        const TIdBytes ssid = Bytes("v4-only");
        payload.insert(payload.end(), ssid.begin(), ssid.end());
        payload.insert(payload.end(), {0x0D, 0x0A, '1', '2', '3', '4', '5', '6', '7', '8'});
        QCOMPARE(data, Frame(0x02, payload));

        QVERIFY(device.SendToLoopback(JoinResult(1, 1)));
        QTRY_COMPARE(boxes.noticeCount, 1L);
        QCOMPARE(boxes.notices[0], QStringLiteral("提交成功，请检查设备状态"));
        QCOMPARE(boxes.errors, QStringList());
        form->CloseEndpoint();
        QCOMPARE(form->idpsrvr1->ListenerCount(), 0);
        ReleaseState();
    }
};

std::unique_ptr<QObject> MakeIPv6OffTests() { return std::make_unique<IPv6OffTests>(); }

}  // namespace melvorin::hardening

#include "ipv6_off_test.moc"
