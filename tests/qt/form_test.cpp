// The real TForm2 driven through its widgets, with a local UDP socket on
// port 1902 standing in for a device (a broadcast to 255.255.255.255 loops
// back to it in the private network namespace).

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <unistd.h>

#include <csignal>

#include "child_process.h"
#include "net/handover.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "qt/form2.h"
#include "window_fixture.h"

namespace melvorin::uitest {

using namespace testing::controls;
using testing::BytesOf;
using testing::DoubleClickRow;
using testing::Hex;
using testing::JoinResult;
using testing::ListReply;
using testing::NextHex;
using testing::RecordingBoxes;
using testing::TypeText;
using testing::UdpPeer;
using testing::WindowHandOver;

namespace {

const QString kScanRequest = QStringLiteral("ff00010102");
const QString kNone = QStringLiteral("none");
const QColor kFocusGreen(218, 243, 234);
const QColor kRed(255, 0, 0);

QColor Background(const QWidget* w) { return w->palette().color(QPalette::Base); }

}  // namespace

class FormTests : public QObject, testing::WindowFixture<> {
    Q_OBJECT

    void ShowActive() {
        form->ShowCentred();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    // FormCreate's scan on the wire from port 12345, answered with `records`.
    void CreateAndFill(const testing::Records& records) {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        device->SendToLoopback(ListReply(records));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), int(records.size()));
    }
    void Send(const testing::Octets& datagram) { QVERIFY(device->SendToLoopback(datagram)); }

private slots:
    void init() { SetUpWindow(); }

    void cleanup() {
        TearDownWindow();
        QGuiApplication::clipboard()->clear();
    }

    void firstScanAndListReplyFillTheRows() {
        // Dropped errors as the endpoint's log gets them (from any thread, up
        // to the form's end).
        struct Log {
            std::mutex lock;
            QStringList dropped;
        };
        const auto log = std::make_shared<Log>();
        Idpsrvr1(*form)->OnLog = [log](const net::TIdLogEntry& entry) {
            const std::lock_guard<std::mutex> hold(log->lock);
            if (entry.Kind == net::TIdLogKind::Dropped) log->dropped << QString::fromStdString(entry.Message);
        };
        CreateAndFill({{BytesOf("AB"), 50}, {testing::FromHex("ced2b5c4cdf8c2e7"), 73}, {BytesOf("Caf\xc3\xa9"), 0},
                       {BytesOf("x"), 255}});
        if (QTest::currentTestFailed()) return;
        QTableWidget* lv = LvSsid(*form);
        QCOMPARE(lv->item(0, 0)->text(), QStringLiteral("AB"));
        QCOMPARE(lv->item(0, 1)->text(), QStringLiteral("50%"));
        QCOMPARE(lv->item(1, 0)->text(), QStringLiteral("我的网络"));  // GBK bytes
        QCOMPARE(lv->item(1, 1)->text(), QStringLiteral("73%"));
        QCOMPARE(lv->item(2, 0)->text(), QStringLiteral("Café"));
        QCOMPARE(lv->item(2, 1)->text(), QStringLiteral("0%"));
        QCOMPARE(lv->item(3, 1)->text(), QStringLiteral("255%"));
        QVERIFY(!(lv->item(0, 0)->flags() & Qt::ItemIsEditable));

        // A later reply replaces the whole list; a datagram with a bad
        // checksum changes nothing.
        testing::Octets bad = ListReply({{BytesOf("Bad"), 1}});
        ++bad.back();
        Send(bad);
        Send(ListReply({{BytesOf("Only"), 9}}));
        QTRY_COMPARE(lv->rowCount(), 1);
        QCOMPARE(lv->item(0, 0)->text(), QStringLiteral("Only"));
        QCOMPARE(boxes->errors, QStringList());
        QCOMPARE(boxes->notices, QStringList());

        // A record too short for an SSID: the list is cleared, the error is
        // not shown but logged.
        Send(testing::Sealed({0xFF, 0x00, 0x00, 0x81, 0x01, 0x0D, 0x0A, 0x00}));
        QTRY_COMPARE(lv->rowCount(), 0);
        QCOMPARE(boxes->errors, QStringList());
        const std::lock_guard<std::mutex> hold(log->lock);
        QCOMPARE(log->dropped, QStringList{QStringLiteral("ERangeError: Range check error")});
    }

    void doubleClickSendsTheJoinRequest() {
        ShowActive();
        CreateAndFill({{BytesOf("AB"), 50}, {BytesOf("Other"), 20}});
        if (QTest::currentTestFailed()) return;
        EdtKey(*form)->clear();
        QTest::keyClicks(EdtKey(*form), QStringLiteral("pass1234"));
        QCOMPARE(EdtKey(*form)->text(), QStringLiteral("pass1234"));

        DoubleClickRow(*form, 0);
        QCOMPARE(NextHex(*device), QStringLiteral("ff000e020041420d0a" "7061737331323334" "2b"));
        // The signal-strength column belongs to the row too.
        DoubleClickRow(*form, 0, 1);
        QCOMPARE(NextHex(*device), QStringLiteral("ff000e020041420d0a" "7061737331323334" "2b"));

        // A pasted Chinese key goes out in code page 936.
        QGuiApplication::clipboard()->setText(QStringLiteral("密码"));
        EdtKey(*form)->clear();
        QTest::keyClick(EdtKey(*form), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(EdtKey(*form)->text(), QStringLiteral("密码"));
        DoubleClickRow(*form, 0);
        QCOMPARE(NextHex(*device), QStringLiteral("ff000a020041420d0ac3dcc2ebf2"));
        QCOMPARE(boxes->errors, QStringList());

        // A double-click in the empty area below the rows leaves no row
        // selected: nothing is sent.
        const QPoint below(testing::CellCentre(*form, 0, 0).x(), LvSsid(*form)->viewport()->height() - 5);
        QTest::mouseClick(LvSsid(*form)->viewport(), Qt::LeftButton, {}, below);
        QTest::mouseDClick(LvSsid(*form)->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(LvSsid(*form)->SelectedRow(), -1);
        QCOMPARE(NextHex(*device, 300), kNone);
    }

    void joinWithoutRowsOrWithWrongPortSendsNothing() {
        form->FormCreate();
        QCOMPARE(NextHex(*device), kScanRequest);
        form->Logic().lvSsidDblClick();
        QCOMPARE(NextHex(*device, 300), kNone);
        QCOMPARE(boxes->errors, QStringList());

        // A failed scan leaves its port behind: the join fails the same way.
        Send(ListReply({{BytesOf("AB"), 50}}));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        EdtSearchPort(*form)->setText(QStringLiteral("70000"));
        form->Logic().btnSearchClick();
        LvSsid(*form)->selectRow(0);
        form->Logic().lvSsidDblClick();
        QCOMPARE(boxes->errors, QStringList({"Range check error.", "Range check error."}));
        QCOMPARE(NextHex(*device, 300), kNone);
    }

    void emptyKeyTurnsRedWithThePromptThenFocusClearsIt() {
        ShowActive();
        CreateAndFill({{BytesOf("AB"), 50}});
        if (QTest::currentTestFailed()) return;
        const QColor window = Background(EdtKey(*form));
        QVERIFY(window != kFocusGreen);  // edtKeyEnter did not run at start

        EdtKey(*form)->clear();
        DoubleClickRow(*form, 0);
        QCOMPARE(EdtKey(*form)->text(), QStringLiteral("请输入密码"));
        QCOMPARE(Background(EdtKey(*form)), kRed);
        QCOMPARE(NextHex(*device, 300), kNone);
        // The prompt itself is never sent.
        DoubleClickRow(*form, 0);
        QCOMPARE(NextHex(*device, 300), kNone);

        QTest::keyClick(LvSsid(*form), Qt::Key_Backtab);  // lvSsid -> edtKey
        QCOMPARE(QApplication::focusWidget(), EdtKey(*form));
        QCOMPARE(EdtKey(*form)->text(), QString());
        QCOMPARE(Background(EdtKey(*form)), kFocusGreen);

        QTest::keyClick(EdtKey(*form), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), LvSsid(*form));
        QCOMPARE(Background(EdtKey(*form)), window);
    }

    void focusKeepsOtherTextAndTabSelectsIt() {
        ShowActive();
        QCOMPARE(QApplication::focusWidget(), BtnSearch(*form));
        QTest::keyClick(BtnSearch(*form), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), EdtKey(*form));
        QCOMPARE(EdtKey(*form)->text(), QStringLiteral("12345678"));  // the sample stays
        QCOMPARE(EdtKey(*form)->selectedText(), QStringLiteral("12345678"));
        QCOMPARE(Background(EdtKey(*form)), kFocusGreen);

        // Clicking into a box does not select its text.
        QTest::mouseClick(EdtSearchPort(*form), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), EdtSearchPort(*form));
        QVERIFY(!EdtSearchPort(*form)->hasSelectedText());
        QVERIFY(Background(EdtKey(*form)) != kFocusGreen);
        QTest::keyClick(EdtSearchPort(*form), Qt::Key_Tab);  // wraps to btnSearch
        QTest::keyClick(BtnSearch(*form), Qt::Key_Backtab);   // back into edt_SearchPort
        QCOMPARE(EdtSearchPort(*form)->selectedText(), QStringLiteral("1902"));

        // The prompt typed in by hand is cleared on entry too, other text not.
        EdtKey(*form)->setText(QStringLiteral("请输入密码x"));
        EdtKey(*form)->setFocus(Qt::TabFocusReason);
        QCOMPARE(EdtKey(*form)->text(), QStringLiteral("请输入密码x"));
    }

    void tabOrderVisitsButtonKeyListPort() {
        ShowActive();
        QList<QWidget*> visited{QApplication::focusWidget()};
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget();
        }
        const QList<QWidget*> expected{BtnSearch(*form), EdtKey(*form), LvSsid(*form), EdtSearchPort(*form),
                                       BtnSearch(*form)};
        QCOMPARE(visited, expected);
    }

    void searchPortFilter() {
        qt::TEdit* port = EdtSearchPort(*form);
        port->setText(QStringLiteral("19"));
        port->end(false);
        QTest::keyClick(port, Qt::Key_A);
        QCOMPARE(port->text(), QStringLiteral("19"));
        QCOMPARE(boxes->beeps, 1);
        QTest::keyClick(port, Qt::Key_0);
        QCOMPARE(port->text(), QStringLiteral("190"));
        QTest::keyClick(port, Qt::Key_Backspace);
        QCOMPARE(port->text(), QStringLiteral("19"));
        QCOMPARE(boxes->beeps, 1);

        // Every other delivered character beeps and is dropped: blank, signs,
        // hexadecimal prefixes and digits, Enter, Esc, a Chinese character.
        QTest::keyClick(port, Qt::Key_Return);
        QTest::keyClick(port, Qt::Key_Escape);
        int beeps = 3;
        for (const char* typed : {" ", "+", "-", "$", "x", "F", "中", "\t", "\u0660"}) {
            TypeText(port, QString::fromUtf8(typed));
            QVERIFY2(port->text() == QStringLiteral("19") && boxes->beeps == ++beeps, (std::string("typed ") + typed).c_str());
        }

        // The clipboard shortcuts arrive as control characters: they beep and
        // do nothing.
        QGuiApplication::clipboard()->setText(QStringLiteral("7z"));
        port->selectAll();
        QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(port, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(port, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(port->text(), QStringLiteral("19"));
        QCOMPARE(boxes->beeps, beeps + 3);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("7z"));
        // So do the other shortcuts that edit: deleting a word either way,
        // undo by Alt+Backspace, cutting by Shift+Delete.
        port->end(false);
        QTest::keyClick(port, Qt::Key_Backspace, Qt::ControlModifier);
        QTest::keyClick(port, Qt::Key_Backspace, Qt::AltModifier);
        port->home(false);
        QTest::keyClick(port, Qt::Key_Delete, Qt::ControlModifier);
        port->selectAll();
        QTest::keyClick(port, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(port->text(), QStringLiteral("19"));
        beeps += 4;
        QCOMPARE(boxes->beeps, beeps + 3);

        // Keys that type nothing work as usual, silently.
        port->end(false);
        QTest::keyClick(port, Qt::Key_Left);
        QTest::keyClick(port, Qt::Key_Home);
        QTest::keyClick(port, Qt::Key_Delete);
        QCOMPARE(port->text(), QStringLiteral("9"));
        // Shift+Insert and the menu's Paste insert any text.
        port->end(false);
        QTest::keyClick(port, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(port->text(), QStringLiteral("97z"));
        port->paste();
        QCOMPARE(port->text(), QStringLiteral("97z7z"));
        QCOMPARE(boxes->beeps, beeps + 3);
    }

    void keyFilter() {
        qt::TEdit* key = EdtKey(*form);
        key->clear();
        QTest::keyClicks(key, QStringLiteral("a1 ~"));
        QCOMPARE(key->text(), QStringLiteral("a1 ~"));
        TypeText(key, QStringLiteral("\u00A0"));  // 160: dropped
        TypeText(key, QStringLiteral("é"));
        TypeText(key, QStringLiteral("中"));
        TypeText(key, QStringLiteral("\U0001F600"));
        QCOMPARE(key->text(), QStringLiteral("a1 ~"));
        TypeText(key, QStringLiteral("z\u00FFy"));  // only the high one goes
        QCOMPARE(key->text(), QStringLiteral("a1 ~zy"));
        QTest::keyClick(key, Qt::Key_Backspace);
        QCOMPARE(key->text(), QStringLiteral("a1 ~z"));
        QCOMPARE(boxes->beeps, 0);  // silently

        // An input method's commit string is filtered the same way.
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("密b码c"));
        QApplication::sendEvent(key, &commit);
        QCOMPARE(key->text(), QStringLiteral("a1 ~zbc"));
        QInputMethodEvent chineseOnly;
        chineseOnly.setCommitString(QStringLiteral("密码"));
        QApplication::sendEvent(key, &chineseOnly);
        QCOMPARE(key->text(), QStringLiteral("a1 ~zbc"));
        QCOMPARE(boxes->beeps, 0);
    }

    // The key stays in its box: no copy or cut by key or menu, no primary
    // selection (where the platform has one: the X11 run), input methods
    // told it is sensitive; a screen reader still reads it.
    void keyBoxKeepsTheKeyInside() {
        qt::TEdit* key = EdtKey(*form);
        QClipboard* clipboard = QGuiApplication::clipboard();
        key->setText(QStringLiteral("secret99"));
        clipboard->setText(QStringLiteral("before"));
        for (const QKeySequence::StandardKey shortcut : {QKeySequence::Copy, QKeySequence::Cut}) {
            for (const QKeySequence& keys : QKeySequence::keyBindings(shortcut)) {
                key->selectAll();
                QTest::keySequence(key, keys);
            }
        }
        QCOMPARE(key->text(), QStringLiteral("secret99"));
        QCOMPARE(clipboard->text(), QStringLiteral("before"));

        ShowActive();
        key->selectAll();
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(5, 5), key->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(key, &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        QStringList offered;  // the entries, "-" for those refused
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) offered << (action->isEnabled() ? "" : "-") + action->text().section('\t', 0, 0);
        }
        menu->close();
        QCOMPARE(offered, QStringList({"-&Undo", "-&Redo", "-Cu&t", "-&Copy", "&Paste", "Delete", "-Select All"}));

        if (clipboard->supportsSelection()) {
            clipboard->setText(QStringLiteral("before"), QClipboard::Selection);
            key->deselect();
            QTest::mouseDClick(key, Qt::LeftButton, {}, QPoint(10, key->height() / 2));
            QTest::mouseClick(key, Qt::LeftButton, Qt::ShiftModifier, QPoint(key->width() - 4, key->height() / 2));
            QCOMPARE(key->selectedText(), QStringLiteral("secret99"));
            QCOMPARE(clipboard->text(QClipboard::Selection), QStringLiteral("before"));
        }

        const auto hints = Qt::InputMethodHints(key->inputMethodQuery(Qt::ImHints).toInt());
        QCOMPARE(hints & (Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase),
                 Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(key);
        QCOMPARE(reader->role(), QAccessible::EditableText);
        QVERIFY(!reader->state().passwordEdit);
        QCOMPARE(reader->text(QAccessible::Value), QStringLiteral("secret99"));
        QCOMPARE(reader->textInterface()->text(0, 8), QStringLiteral("secret99"));
    }

    void scanErrorsShowTheErrorBox() {
        form->ShowCentred();
        form->FormCreate();
        QCOMPARE(NextHex(*device), kScanRequest);

        EdtSearchPort(*form)->setText(QString());
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(boxes->errors, QStringList({"'' is not a valid integer value."}));
        EdtSearchPort(*form)->setText(QStringLiteral("70000"));
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        EdtSearchPort(*form)->setText(QStringLiteral("-1"));
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        EdtSearchPort(*form)->setText(QStringLiteral("2147483648"));
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(boxes->errors, QStringList({"'' is not a valid integer value.", "Range check error.",
                                             "Range check error.", "'2147483648' is not a valid integer value."}));
        QCOMPARE(NextHex(*device, 300), kNone);

        // "$76E" is 1902.
        EdtSearchPort(*form)->setText(QStringLiteral("$76E"));
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        QCOMPARE(NextHex(*device), kScanRequest);
        QCOMPARE(boxes->errors.size(), 4);
    }

    void portTakenAtStartUpThenRetried() {
        auto blocker = std::make_unique<UdpPeer>();
        QVERIFY(blocker->Bind("", 12345));
        form->FormCreate();
        QCOMPARE(boxes->errors, QStringList({"Could not bind socket. Address and port are already in use."}));
        QCOMPARE(NextHex(*device, 300), kNone);
        form->ShowCentred();  // the window opens anyway, its list empty
        QVERIFY(form->isVisible());
        QCOMPARE(LvSsid(*form)->rowCount(), 0);

        blocker.reset();
        QTest::mouseClick(BtnSearch(*form), Qt::LeftButton);
        std::uint16_t sourcePort = 0;
        QCOMPARE(NextHex(*device, 3000, &sourcePort), kScanRequest);
        QCOMPARE(sourcePort, std::uint16_t{12345});
        Send(ListReply({{BytesOf("AB"), 50}}));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        QCOMPARE(boxes->errors.size(), 1);
    }

    // A join result is shown only while its request waits: results nobody
    // asked for, and a repeat, are dropped, also one handed over by the
    // other listener while the notice is open.
    void joinResultsOnlyWhenAsked() {
        form->FormCreate();
        QCOMPARE(NextHex(*device), kScanRequest);
        Send(JoinResult(0x01, 0x01));
        QTRY_COMPARE(form->UnaskedResults(), 1);
        QVERIFY(testing::AskForJoinResult(*form, *device));
        UdpPeer device6(AF_INET6);
        const bool v6 = Idpsrvr1(*form)->Bindings().Count() == 2;
        boxes->onNotice = [&](const QString&) {
            if (!v6 || boxes->notices.size() != 1) return;
            device6.SendToLoopback(JoinResult(0x00, 0x01));
            QVERIFY(QTest::qWaitFor([&] { return form->UnaskedResults() == 2; }, 5000));
        };
        Send(JoinResult(0x01, 0x01));
        QTRY_COMPARE(boxes->notices, QStringList({"提交成功，请检查设备状态"}));
        QCOMPARE(form->UnaskedResults(), v6 ? 2 : 1);
        QCOMPARE(boxes->mostOpenNotices, 1);
        Send(JoinResult(0x01, 0x00));
        QTRY_COMPARE(form->UnaskedResults(), v6 ? 3 : 2);

        // The next request waits for its own result, for as long as the
        // window allows.
        form->SetJoinResultWindow(std::chrono::milliseconds(200));
        QVERIFY(testing::AskForJoinResult(*form, *device));
        QTest::qWait(300);
        Send(JoinResult(0x01, 0x00));
        QTRY_COMPARE(form->UnaskedResults(), v6 ? 4 : 3);
        QVERIFY(testing::AskForJoinResult(*form, *device));
        Send(JoinResult(0x01, 0x00));
        QTRY_COMPARE(boxes->notices.size(), 2);
        QCOMPARE(boxes->notices.last(), QStringLiteral("密码格式有误，请重新输入"));
    }

    // Two devices hear the broadcast join request; only the one that sent the
    // shown list is heard, whoever answers first (here a forged success).
    void joinResultOnlyFromTheListsDevice() {
        UdpPeer other;
        QVERIFY(other.Bind("127.0.0.2", 0));
        form->FormCreate();
        QCOMPARE(NextHex(*device), kScanRequest);
        QVERIFY(other.SendTo("127.0.0.1", 12345, ListReply({{BytesOf("AB"), 50}})));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        QVERIFY(testing::AskForJoinResult(*form, *device));
        Send(JoinResult(0x01, 0x01));  // from 127.0.0.1, which showed no list
        QTRY_COMPARE(form->UnaskedResults(), 1);
        QCOMPARE(boxes->notices, QStringList());
        QVERIFY(other.SendTo("127.0.0.1", 12345, JoinResult(0x01, 0x00)));
        QTRY_COMPARE(boxes->notices, QStringList({"密码格式有误，请重新输入"}));
        QCOMPARE(form->UnaskedResults(), 1);
    }

    // A key no WPA2 network takes is sent; after the device refused its
    // format, the line says what a WPA2 key is. Then another user's program
    // binds the search port, where the broadcast would hand it the key:
    // nothing is sent, the error box says why, and a scan proves the
    // program hears broadcasts.
    void keyGoesToNoOtherUserAndTheLineSaysWhatWpa2Takes() {
        CreateAndFill({{BytesOf("AB"), 50}});
        if (QTest::currentTestFailed()) return;
        EdtKey(*form)->setText(QStringLiteral("12345"));
        LvSsid(*form)->selectRow(0);
        form->Logic().lvSsidDblClick();
        QCOMPARE(NextHex(*device), Hex(testing::JoinRequest(BytesOf("AB"), BytesOf("12345"))));
        Send(JoinResult(0x01, 0x00));
        QTRY_COMPARE(boxes->notices, QStringList({"密码格式有误，请重新输入"}));
        QCOMPARE(LblStatus(*form)->text(),
                 QStringLiteral("The device answered the join request for \u201cAB\u201d, sent in clear: 密码格式有误，请重新输入 A WPA2 "
                                "network takes a key of 8 to 63 characters, or of 64 hexadecimal digits."));

        if (geteuid() != 0) QSKIP("needs root to run a program as another user");
        device.reset();  // the search port for the other user
        testing::ChildProcess nobody(
            "/usr/bin/setpriv",
            {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
             "import socket, sys\n"
             "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
             "s.bind(('0.0.0.0', 1902))\n"
             "print('listening', file=sys.stderr, flush=True)\n"
             "while True: print(s.recv(4096).hex(), flush=True)\n"});
        QVERIFY2(nobody.WaitForStderr("listening"), qPrintable(QString::fromStdString(nobody.Stderr())));
        EdtKey(*form)->setText(QStringLiteral("pass1234"));
        form->Logic().lvSsidDblClick();
        QCOMPARE(boxes->errors,
                 QStringList({"Nothing was sent: a program of nobody (uid 65534) is bound to UDP port 1902 on this "
                              "computer and would receive the join request with the key. Stop it, or send to each "
                              "device alone with \u201cmelvorin-cli join --unicast\u201d."}));
        form->Logic().btnSearchClick();
        QTest::qWait(300);
        nobody.Signal(SIGTERM);
        nobody.WaitExit(3000);
        QCOMPARE(QString::fromStdString(nobody.Stdout()), kScanRequest + "\n");
    }

    void closingWhileAListenerHandsOver() {
        form->FormCreate();
        QCOMPARE(NextHex(*device), kScanRequest);
        QVERIFY(testing::AskForJoinResult(*form, *device));
        Send(JoinResult(0x01, 0x01));
        // The listener has queued its hand-over and waits; nothing runs it
        // until the window closes its endpoint.
        QVERIFY(WindowHandOver().WaitForQueued(3000));
        form.reset();
        QCOMPARE(boxes->notices, QStringList());  // nothing opens on the way out
        QVERIFY(!WindowHandOver().RunQueued());
        QVERIFY(testing::PortFree(12345));
    }

    void layoutAndLook() {
        QCOMPARE(form->objectName(), QStringLiteral("Form2"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Melvorin"));
        QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
        const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
        QCOMPARE(form->font().pixelSize(), qRound(11 * dpi / 96));
        const double s = QFontMetrics(form->font()).height() / 13.0;
        auto px = [s](int v) { return qRound(v * s); };
        auto rect = [&](int l, int t, int w, int h) { return QRect(px(l), px(t), px(w), px(h)); };

        // The specified client area, and under it the status line, which the
        // window grows by.
        QCOMPARE(form->width(), px(363));
        QCOMPARE(LblStatus(*form)->y(), px(486));
        QCOMPARE(form->height(), LblStatus(*form)->geometry().bottom() + 1);
        QCOMPARE(form->minimumSize(), form->maximumSize());  // not resizable
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QCOMPARE(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));

        QCOMPARE(LblSearchPort(*form)->geometry(), rect(34, 30, 57, 13));
        QCOMPARE(LblSearchPort(*form)->text(), QStringLiteral("搜索端口"));
        QCOMPARE(EdtSearchPort(*form)->geometry(), rect(98, 24, 53, 21));
        QCOMPARE(EdtSearchPort(*form)->text(), QStringLiteral("1902"));
        QCOMPARE(KeyCaption(*form)->geometry(), rect(170, 30, 18, 13));
        QCOMPARE(KeyCaption(*form)->text(), QStringLiteral("Key"));
        QCOMPARE(EdtKey(*form)->geometry(), rect(191, 24, 136, 21));
        QVERIFY(!EdtKey(*form)->text().isEmpty() && EdtKey(*form)->text() != QStringLiteral("请输入密码"));
        QCOMPARE(EdtKey(*form)->echoMode(), QLineEdit::Normal);
        QCOMPARE(BtnSearch(*form)->geometry(), rect(36, 72, 297, 35));
        QCOMPARE(BtnSearch(*form)->text(), QStringLiteral("重获SSID"));
        QCOMPARE(LvSsid(*form)->geometry(), rect(36, 130, 295, 325));

        qt::TListView* lv = LvSsid(*form);
        QCOMPARE(lv->columnCount(), 2);
        QCOMPARE(lv->horizontalHeaderItem(0)->text(), QStringLiteral("SSID 双击即可连接↓"));
        QCOMPARE(lv->horizontalHeaderItem(1)->text(), QStringLiteral("信号强度"));
        QCOMPARE(lv->columnWidth(0), px(190));
        QCOMPARE(lv->columnWidth(1), px(80));
        QCOMPARE(lv->font().pixelSize(), px(16));
        QVERIFY(lv->showGrid());
        QCOMPARE(lv->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(lv->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(lv->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!lv->isSortingEnabled());
        QVERIFY(!lv->horizontalHeader()->sectionsClickable());

        // Created in this order.
        QStringList order;
        for (QObject* child : form->children()) {
            if (!child->objectName().isEmpty()) order << child->objectName();
        }
        // The status line comes after the specified members.
        QCOMPARE(order, QStringList({"lbl_SearchPort", "Key", "edtKey", "btnSearch", "lvSsid", "edt_SearchPort",
                                     "lblStatus"}));
        QCOMPARE(Idpsrvr1(*form)->Name(), std::string("idpsrvr1"));
        QVERIFY(Idpsrvr1(*form)->BroadcastEnabled());
        QCOMPARE(Idpsrvr1(*form)->DefaultPort(), quint16(12345));
        QVERIFY(!Idpsrvr1(*form)->Active());  // opened by the first send only

        // Centred at the first show; a later show leaves it where it is.
        form->ShowCentred();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY((form->frameGeometry().center() - centre).manhattanLength() <= 4);
        form->hide();
        form->move(10, 20);
        form->ShowCentred();
        QCOMPARE(form->pos(), QPoint(10, 20));
    }
};

std::unique_ptr<QObject> MakeFormTests() { return std::make_unique<FormTests>(); }

}  // namespace melvorin::uitest

#include "form_test.moc"
