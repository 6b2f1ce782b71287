// The window in a network namespace whose IPv6 is switched off (set up by
// the test program's main before anything else runs): one binding, one
// listener, and scan, list, join and notice all work over IPv4.

#include <QTest>
#include <fstream>
#include <memory>
#include <string>

#include "net/udp_server.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "window_fixture.h"
#include "qt/form2.h"
#include "qt/widgets.h"

namespace melvorin::hardening {

using namespace melvorin::testing;

class IPv6OffTests : public QObject, WindowFixture<> {
    Q_OBJECT

private slots:
    void init() { SetUpWindow(); }
    void cleanup() { TearDownWindow(); }

    void windowWorksWithOneBinding() {
        std::string off;
        std::ifstream("/proc/sys/net/ipv6/conf/all/disable_ipv6") >> off;
        QCOMPARE(off, std::string("1"));
        QVERIFY(!IPv6OnLoopback());
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;

        QCOMPARE(Idpsrvr1(*form)->Bindings().Count(), 1);
        QCOMPARE(Idpsrvr1(*form)->ListenerCount(), 1);
        QVERIFY(Idpsrvr1(*form)->Active());

        form->ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(device->SendToLoopback(ListReply(1, {{BytesOf("v4-only"), 42}, {BytesOf("other"), 7}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 2);
        QCOMPARE(LvSsid(*form)->item(0, 1)->text(), QStringLiteral("42%"));

        EdtKey(*form)->setText(QStringLiteral("12345678"));
        DoubleClickRow(*form, 0);
        QCOMPARE(NextHex(*device, 2000), Hex(JoinRequest(BytesOf("v4-only"), BytesOf("12345678"))));

        QVERIFY(device->SendToLoopback(JoinResult(1, 1)));
        QTRY_COMPARE(boxes->noticeCount, 1L);
        QCOMPARE(boxes->notices[0], QStringLiteral("提交成功，请检查设备状态"));
        QCOMPARE(boxes->errors, QStringList());
        form->CloseEndpoint();
        QCOMPARE(Idpsrvr1(*form)->ListenerCount(), 0);
    }
};

std::unique_ptr<QObject> MakeIPv6OffTests() { return std::make_unique<IPv6OffTests>(); }

}  // namespace melvorin::hardening

#include "ipv6_off_test.moc"
