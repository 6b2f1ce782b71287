// The real window meeting faults: port 12345 held for IPv6 only, a notice
// box that raises, a key with characters of code 128 to 159, and SSIDs whose
// bytes do not decode.

#include <QPushButton>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "net/udp_server.h"
#include "protocol/errors.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "qt/form2.h"
#include "qt/widgets.h"
#include "window_fixture.h"

namespace melvorin::hardening {

using namespace melvorin::testing;

namespace {

const QString kScan = Hex(kScanRequestBytes);
const QString kNone = QStringLiteral("none");
const QString kBindError = QStringLiteral("Could not bind socket. Address and port are already in use.");

}  // namespace

class FaultTests : public QObject, WindowFixture<> {
    Q_OBJECT

    // FormCreate's scan on the wire, answered with `reply`, window shown.
    void CreateAndFill(const TIdBytes& reply, int rows) {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        form->ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(device->SendToLoopback(reply));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), rows);
    }

private slots:
    void init() { SetUpWindow(); }
    void cleanup() { TearDownWindow(); }

    // Port 12345 held over IPv6 only: the first scan fails with the bind
    // error and leaves the IPv4 port free again; once the holder lets go,
    // the scan button opens both bindings.
    void portTakenForIPv6Only() {
        if (!IPv6OnLoopback()) QSKIP("no IPv6 in this namespace");
        auto holder = std::make_unique<UdpPeer>(AF_INET6);
        QVERIFY(holder->Bind("", 12345));
        QVERIFY(PortFree(12345, AF_INET));

        form->FormCreate();
        QCOMPARE(boxes->errors, QStringList({kBindError}));
        QCOMPARE(NextHex(*device, 300), kNone);
        QVERIFY(!Idpsrvr1(*form)->Active());
        QCOMPARE(Idpsrvr1(*form)->ListenerCount(), 0);
        QVERIFY2(PortFree(12345, AF_INET), "the failed activation kept the IPv4 port");

        // Still held: the button fails the same way, and nothing goes out.
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(boxes->errors, QStringList({kBindError, kBindError}));
        QCOMPARE(NextHex(*device, 300), kNone);

        holder.reset();
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(boxes->errors.size(), 2);
        std::uint16_t sourcePort = 0;
        QCOMPARE(NextHex(*device, 3000, &sourcePort), kScan);
        QCOMPARE(sourcePort, std::uint16_t{12345});
        QCOMPARE(Idpsrvr1(*form)->Bindings().Count(), 2);
        QCOMPARE(Idpsrvr1(*form)->ListenerCount(), 2);

        // Replies arrive over both families.
        UdpPeer device6(AF_INET6);
        QVERIFY(device6.SendToLoopback(ListReply(0, {{BytesOf("over-v6"), 6}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        QCOMPARE(LvSsid(*form)->item(0, 0)->text(), QStringLiteral("over-v6"));
        QVERIFY(device->SendToLoopback(ListReply(1, {{BytesOf("over-v4"), 4}, {BytesOf("b"), 5}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 2);
        QCOMPARE(LvSsid(*form)->item(0, 0)->text(), QStringLiteral("over-v4"));
    }

    // A notice box that raises (any kind of error) costs only its datagram:
    // nothing is shown, the listener goes on, the window carries on.
    void raisingNoticeBox() {
        CreateAndFill(ListReply(0, {{BytesOf("AB"), 50}}), 1);
        int raised = 0;
        boxes->onNotice = [&](const QString&) {
            ++raised;
            if (raised == 1) throw std::runtime_error("notice box failed");
            if (raised == 2) throw 42;  // not even a std::exception
            if (raised == 3) throw Exception("Range check error");
        };
        for (int i = 0; i < 3; ++i) {
            QVERIFY(testing::AskForJoinResult(*form, *device));
            QVERIFY(device->SendToLoopback(JoinResult(1, 1)));
            QTRY_COMPARE(raised, i + 1);
        }
        QCOMPARE(boxes->errors, QStringList());

        // The same listener delivers the next datagrams as usual.
        QVERIFY(device->SendToLoopback(ListReply(1, {{BytesOf("next"), 9}, {BytesOf("one"), 8}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 2);
        QCOMPARE(LvSsid(*form)->item(1, 1)->text(), QStringLiteral("8%"));
        QVERIFY(testing::AskForJoinResult(*form, *device));
        QVERIFY(device->SendToLoopback(JoinResult(0, 1)));
        QTRY_COMPARE(boxes->noticeCount, 4L);
        QCOMPARE(boxes->notices.last(), QStringLiteral("SSID出错了，请重获SSID"));

        // And the window still sends.
        device->Drain();
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(NextHex(*device, 2000), kScan);
        QCOMPARE(boxes->errors, QStringList());
    }

    // Characters of code 128 to 159 pass the key filter, but code page 936
    // has no bytes for them: the join says so and sends nothing. A clean key
    // then goes out as usual.
    void keyWithC1Characters() {
        CreateAndFill(ListReply(0, {{BytesOf("AB"), 50}}), 1);
        qt::TEdit* key = EdtKey(*form);
        key->clear();
        QString typed;
        for (char16_t c = 0x80; c <= 0x9F; ++c) {
            const QString one(QChar(static_cast<ushort>(c)));
            TypeText(key, QStringLiteral("k") + one);
            typed += QStringLiteral("k") + one;
        }
        QCOMPARE(key->text(), typed);  // the filter let every one through
        QCOMPARE(boxes->beeps, 0);

        device->Drain();
        DoubleClickRow(*form, 0);
        QCOMPARE(boxes->errors.size(), 1);
        QVERIFY2(boxes->errors[0].contains(QStringLiteral("code page 936")), qPrintable(boxes->errors[0]));
        QCOMPARE(NextHex(*device, 500), kNone);  // no join request with a key code page 936 cannot hold
        QCOMPARE(key->text(), typed);  // the key stays as typed

        // One such character among plain ones is refused the same way.
        key->setText(QStringLiteral("password") + QChar(0x85));
        DoubleClickRow(*form, 0);
        QCOMPARE(boxes->errors.size(), 2);
        QCOMPARE(NextHex(*device, 300), kNone);

        key->setText(QStringLiteral("password"));
        DoubleClickRow(*form, 0);
        QCOMPARE(boxes->errors.size(), 2);
        QCOMPARE(NextHex(*device, 2000), Hex(JoinRequest(BytesOf("AB"), BytesOf("password"))));
    }

    // SSIDs whose bytes do not decode show replacement characters for those
    // bytes and the rest as it is (a control character as its marker); a join
    // sends the bytes exactly as received.
    void ssidThatDoesNotDecode() {
        const TIdBytes loneLead = {'A', 0x81};         // lead byte cut off at the end
        const TIdBytes badTrail = {0x81, 0x7F, 'B'};   // 7F is no trail byte
        const TIdBytes neverValid = {'C', 0xFF, 0xFF};  // FF starts no character
        const TIdBytes mixed = {0xC4, 0xE3, 0xFF, 0xBA, 0xC3};  // 你 FF 好
        CreateAndFill(ListReply(3, {{loneLead, 1}, {badTrail, 2}, {neverValid, 3}, {mixed, 4}}), 4);

        const QChar replacement(0xFFFD);
        const QStringList expected = {QStringLiteral("A") + replacement, QString(replacement) + "[U+007F]B",
                                      QStringLiteral("C") + replacement + replacement,
                                      QStringLiteral("你") + replacement + QStringLiteral("好")};
        for (int row = 0; row < 4; ++row) {
            const QString caption = LvSsid(*form)->item(row, 0)->text();
            // "81 7F" may also be shown as one replacement for the pair.
            if (row == 1 && caption == QString(replacement) + "B") continue;
            QCOMPARE(caption, expected[row]);
        }
        QCOMPARE(State().SsidTable[3], mixed);

        EdtKey(*form)->setText(QStringLiteral("12345678"));
        for (int row = 0; row < 4; ++row) {
            device->Drain();
            DoubleClickRow(*form, row);
            const TIdBytes& ssid = State().SsidTable[static_cast<std::size_t>(row)];
            QCOMPARE(NextHex(*device, 2000), Hex(JoinRequest(ssid, BytesOf("12345678"))));
        }
        QCOMPARE(boxes->errors, QStringList());
    }
};

std::unique_ptr<QObject> MakeFaultTests() { return std::make_unique<FaultTests>(); }

}  // namespace melvorin::hardening

#include "fault_test.moc"
