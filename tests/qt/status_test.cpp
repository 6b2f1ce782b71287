// What the window tells the user: the status line through a scan, silence,
// a list reply and joins with and without a result; Enter on a row; names
// with hidden characters. And, run once per language, the Chinese or English
// texts, and the program's own command line and start without a display.

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <net/if.h>
#include <thread>

#include "melvorin/version.h"
#include "child_process.h"
#include "net/neighbours.h"
#include "netns_links.h"
#include "protocol/cp936.h"
#include "qt/boxes.h"
#include "qt/form2.h"
#include "qt/translations.h"
#include "qt/wire_log.h"
#include "window_fixture.h"

namespace melvorin::uitest {

using namespace testing::controls;
using namespace std::chrono_literals;
using testing::BytesOf;
using testing::ChildProcess;
using testing::ListReply;
using testing::NextHex;

namespace {

// What reaches assistive technology.
struct Heard {
    QObject* object;
    QAccessible::Event type;
    QString inserted;
};
std::vector<Heard> heard;
void Listen(QAccessibleEvent* event) {
    QString inserted;
    if (event->type() == QAccessible::TextUpdated) {
        inserted = static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted();
    }
    heard.push_back({event->object(), event->type(), inserted});
}

// Keypad Enter, or the main Return key, on the list.
void PressEnter(qt::TForm2& form, bool keypad = true) {
    QKeyEvent press(QEvent::KeyPress, keypad ? Qt::Key_Enter : Qt::Key_Return,
                    keypad ? Qt::KeypadModifier : Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(LvSsid(form), &press);
}

}  // namespace

// The window beside a stand-in device, with short time-outs.
class StatusTests : public QObject, testing::WindowFixture<> {
    Q_OBJECT
    QString Status() const { return LblStatus(*form)->text(); }

private slots:
    void init() {
        SetUpWindow();
        form->Logic().Status().SetTimeouts(300ms, 300ms);
    }
    void cleanup() { TearDownWindow(); }

    void statusLineFollowsScanAndJoin() {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        // Loopback only here: the scan goes by the route.
        QVERIFY2(Status().startsWith("Scan sent on the default route"), qPrintable(Status()));
        QTRY_VERIFY2(Status().startsWith("No device answered the scan on the default route. Is this computer on "
                                         "the device's network"),
                     qPrintable(Status()));

        device->SendToLoopback(ListReply({{BytesOf("AB"), 50}, {BytesOf("CD"), 7}}));
        QTRY_COMPARE(Status(), QStringLiteral("2 networks from the device at 127.0.0.1 on lo."));

        // Enter on a selected row sends what a double-click sends.
        testing::DoubleClickRow(*form, 1);
        const QString byClick = NextHex(*device);
        QVERIFY(byClick.startsWith("ff00") && byClick.contains("43440d0a"));
        PressEnter(*form);
        QCOMPARE(NextHex(*device), byClick);
        QCOMPARE(Status(), QStringLiteral("Join request for \u201cCD\u201d sent in clear on the default route; waiting for "
                                          "the device\u2026"));
        QTRY_COMPARE(Status(), QStringLiteral("The device did not answer the join request for \u201cCD\u201d, sent in clear."));

        // The result is on the line before its notice box opens.
        PressEnter(*form, false);
        QCOMPARE(NextHex(*device), byClick);
        QString statusAtNotice;
        boxes->onNotice = [&](const QString&) { statusAtNotice = Status(); };
        device->SendToLoopback(testing::JoinResult(0x01, 0x01));
        QTRY_COMPARE(boxes->notices, QStringList{QStringLiteral("提交成功，请检查设备状态")});
        QCOMPARE(statusAtNotice,
                 QStringLiteral("The device answered the join request for \u201cCD\u201d, sent in clear: 提交成功，请检查设备状态"));
        QTest::qWait(400);  // the join's time-out does not overwrite it
        QCOMPARE(Status(), statusAtNotice);
        // A repeat came unasked: no box, only counted.
        device->SendToLoopback(testing::JoinResult(0x01, 0x01));
        QTRY_COMPARE(Status(), statusAtNotice + QStringLiteral(" (1 unasked join result ignored)"));
        QCOMPARE(boxes->notices.size(), 1);
        QCOMPARE(boxes->errors, QStringList());
        QVERIFY(!LblStatus(*form)->hasFocus() && LblStatus(*form)->focusPolicy() == Qt::NoFocus);
    }

    // What a screen reader gets, through Qt's accessibility interfaces.
    void screenReadersHearTheWindow() {
        heard.clear();
        QAccessible::installUpdateHandler(Listen);
        // As an assistive technology's bridge does when a client listens.
        QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        if (platform == nullptr) QSKIP("no accessibility on this platform");
        platform->setActive(true);
        const auto query = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
        // The captions name their boxes and are their labels (AT-SPI: the box
        // is labelled by the caption).
        for (auto [label, box] : {std::pair<QLabel*, QWidget*>{KeyCaption(*form), EdtKey(*form)},
                                  std::pair<QLabel*, QWidget*>{LblSearchPort(*form), EdtSearchPort(*form)}}) {
            QCOMPARE(query(box)->text(QAccessible::Name), label->text());
            const auto labelled = query(box)->relations(QAccessible::Label);
            QVERIFY(labelled.size() == 1 && labelled.first().first->object() == label);
        }
        QCOMPARE(query(LvSsid(*form))->text(QAccessible::Name), QStringLiteral("Networks"));

        // A name valid in both readings: the row's tooltip, with the other
        // reading, is its cell's description.
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        qt::TStatusLine* line = LblStatus(*form);
        QAccessibleInterface* status = query(line);
        QCOMPARE(status->role(), QAccessible::StatusBar);
        QVERIFY(status->textInterface() != nullptr);
        heard.clear();
        SetPreferredReading(NameReading::Utf8);
        device->SendToLoopback(ListReply({{{0x33, 0xC2, 0xA5, 0x57, 0x69, 0x46, 0x69}, 50}}));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        QCOMPARE(LvSsid(*form)->item(0, 0)->text(), QStringLiteral("3¥WiFi"));
        const QString description =
            query(LvSsid(*form))->tableInterface()->cellAt(0, 0)->text(QAccessible::Description);
        QVERIFY2(description.contains(QStringLiteral("3¥WiFi")) && description.contains(QStringLiteral("3楼WiFi")),
                 qPrintable(description));
        // The status line's change is a text change carrying the new line.
        QVERIFY(std::any_of(heard.begin(), heard.end(), [&](const Heard& h) {
            return h.object == line && h.type == QAccessible::TextUpdated && h.inserted == Status();
        }));
        QCOMPARE(status->textInterface()->text(0, status->textInterface()->characterCount()), Status());

        // The notice box is an alert carrying its verdict, and says so when shown.
        qt::TNoticeBox box(QStringLiteral("melvorin"), QStringLiteral("提交成功，请检查设备状态"));
        QCOMPARE(query(&box)->role(), QAccessible::AlertMessage);
        QCOMPARE(query(&box)->text(QAccessible::Value), box.Text());
        heard.clear();
        box.show();
        QVERIFY(std::any_of(heard.begin(), heard.end(),
                            [&](const Heard& h) { return h.object == &box && h.type == QAccessible::Alert; }));
        box.close();
        QAccessible::installUpdateHandler(nullptr);
        platform->setActive(false);
    }

    // The line names the unit by the hardware address that the neighbour
    // table, read on the window's thread once per list reply, holds for the
    // sender on its interface; a maker no registry lists is left out, and
    // without an entry the line is as it always was.
    void listNamesTheUnitFromTheNeighbourTable() {
        const std::thread::id windowThread = std::this_thread::get_id();
        std::vector<net::TNeighbour> entries = {{if_nametoindex("lo"), "127.0.0.1", {{0x24, 0x6f, 0x28, 0, 0, 1}}},
                                                {if_nametoindex("lo"), "127.0.0.2", {{0x02, 0, 0, 0, 0, 2}}}};
        int reads = 0;
        int elsewhere = 0;
        QTemporaryDir noRegistries;
        form->Logic().SetUnitLookup(
            [&] {
                ++reads;
                elsewhere += std::this_thread::get_id() != windowThread;
                return net::TNeighbourTable(entries);
            },
            noRegistries.path().toStdString());
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        QCOMPARE(reads, 0);
        device->SendToLoopback(ListReply({{BytesOf("AB"), 50}, {BytesOf("CD"), 7}}));
        QTRY_COMPARE(Status(), QStringLiteral("2 networks from the device at 127.0.0.1 (24:6f:28:00:00:01) on lo."));
        entries.erase(entries.begin());
        device->SendToLoopback(ListReply({{BytesOf("AB"), 50}}));
        QTRY_COMPARE(Status(), QStringLiteral("1 network from the device at 127.0.0.1 on lo."));
        QCOMPARE(reads, 2);
        QCOMPARE(elsewhere, 0);
    }

    // A list reply handled inside a join result's notice: the line names the
    // list's sender, also once the notice has closed.
    void listSenderNamedWhileANoticeIsOpen() {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        if (Idpsrvr1(*form)->Bindings().Count() < 2) QSKIP("no IPv6 binding: a second listener is needed");
        QVERIFY(testing::AskForJoinResult(*form, *device));
        testing::UdpPeer device6(AF_INET6);
        boxes->onNotice = [&](const QString&) {
            device6.SendToLoopback(ListReply({{BytesOf("V6"), 9}}));
            QVERIFY(QTest::qWaitFor([&] { return Status().contains(QStringLiteral("0:0:0:0:0:0:0:1")); }, 5000));
        };
        device->SendToLoopback(testing::JoinResult(0x01, 0x01));
        QTRY_COMPARE(boxes->notices.size(), 1);
        QCOMPARE(Status(), QStringLiteral("1 network from the device at 0:0:0:0:0:0:0:1 on lo."));
    }

    // The interfaces a request could not leave by are named, with why: here
    // a firewall drops what goes out of one segment, then of both.
    void sendFailuresNamed() {
        form.reset();
        testing::ScopedNetns netns;
        if (!netns.Problem().empty()) QSKIP(netns.Problem().c_str());
        QVERIFY(testing::AddBroadcastLink("mlvok", "10.202.0.1"));
        QVERIFY(testing::AddBroadcastLink("mlvfw", "10.202.1.1"));
        const auto nft = [](const std::string& rule) {
            return std::system(("nft " + rule + " >/dev/null 2>&1").c_str()) == 0;
        };
        QVERIFY(nft("add table ip mlv") && nft("'add chain ip mlv out { type filter hook output priority 0 ; }'") &&
                nft("add rule ip mlv out oifname mlvfw drop"));
        form = std::make_unique<qt::TForm2>(*boxes, testing::WindowHandOver());
        form->Logic().btnSearchClick();
        QCOMPARE(boxes->errors, QStringList());
        const QString partial = QStringLiteral("Scan sent on mlvok; waiting for a device\u2026 Could not send on mlvfw: ");
        QVERIFY2(Status().startsWith(partial) && Status().contains(QStringLiteral("Socket Error # 10013 Access denied.")),
                 qPrintable(Status()));
        // A scan that fails before sending does not tell that send's
        // failures again.
        EdtSearchPort(*form)->setText(QStringLiteral("70000"));
        form->Logic().btnSearchClick();
        QCOMPARE(boxes->errors, QStringList{QStringLiteral("Range check error.")});
        QVERIFY2(Status().startsWith(partial), qPrintable(Status()));
        EdtSearchPort(*form)->setText(QStringLiteral("1902"));
        boxes->errors.clear();

        QVERIFY(nft("add rule ip mlv out oifname mlvok drop"));
        form->Logic().btnSearchClick();
        QCOMPARE(boxes->errors.size(), 1);
        QVERIFY2(Status().startsWith(QStringLiteral("Could not send on mlvok: ")) &&
                     Status().contains(QStringLiteral(". Could not send on mlvfw: ")),
                 qPrintable(Status()));
        form.reset();  // its sockets, made in this namespace, close before it goes
    }

    void hiddenCharactersAreShownAndJoinedRaw() {
        CreateAndExpectScan();
        if (QTest::currentTestFailed()) return;
        device->SendToLoopback(ListReply({{BytesOf("Home\u202Egnp.exe"), 1},
                                          {BytesOf("HomeNet\u200B"), 2},
                                          {BytesOf("HomeNet"), 3},
                                          {BytesOf("<b>Bold"), 4},
                                          {BytesOf("HomeNet\U000E0041"), 5}}));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 5);
        auto item = [&](int row) { return LvSsid(*form)->item(row, 0); };
        QCOMPARE(item(0)->text(), QStringLiteral("Home[U+202E]gnp.exe"));
        QCOMPARE(item(1)->text(), QStringLiteral("HomeNet[U+200B]"));
        QVERIFY(item(1)->text() != item(2)->text());
        QVERIFY(item(0)->toolTip().contains("48 6f 6d 65 e2 80 ae 67"));
        QVERIFY(item(1)->toolTip().contains("e2 80 8b"));
        QVERIFY(!item(2)->toolTip().contains("Bytes"));         // shown as it is: no bytes
        QVERIFY(item(3)->toolTip().contains("&lt;b&gt;Bold"));  // a name is never markup
        QCOMPARE(item(4)->text(), QStringLiteral("HomeNet[U+E0041]"));  // a tag character
        QVERIFY(item(4)->toolTip().contains("74 f3 a0 81 81"));

        // Tabbing in makes a row current, not selected: Enter joins it.
        LvSsid(*form)->selectionModel()->setCurrentIndex(LvSsid(*form)->model()->index(1, 0),
                                                        QItemSelectionModel::NoUpdate);
        QCOMPARE(LvSsid(*form)->SelectedRow(), -1);
        PressEnter(*form);
        QCOMPARE(NextHex(*device), testing::Hex(testing::JoinRequest(BytesOf("HomeNet\u200B"), BytesOf("12345678"))));
        QCOMPARE(Status().section(QChar(0x201D), 0, 0), QStringLiteral("Join request for \u201cHomeNet[U+200B]"));
        // Nor is it markup in the status line's tooltip.
        testing::DoubleClickRow(*form, 3);
        QVERIFY(NextHex(*device).contains("3c623e426f6c64"));
        const QString tip = LblStatus(*form)->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("\u201c&lt;b&gt;Bold\u201d")), qPrintable(tip));
    }

    // The wire log writes a join request's key as its length only, unless
    // secrets are to be shown.
    void wireLogHidesTheKey() {
        static QStringList lines;
        lines.clear();
        struct Logging {
            QtMessageHandler before = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context,
                                                                const QString& text) {
                if (QLatin1String(context.category) == QLatin1String("melvorin.wire")) lines << text;
            });
            ~Logging() {
                qt::ShowSecretsInWireLog(false);
                QLoggingCategory::setFilterRules(QString());
                qInstallMessageHandler(before);
            }
        } logging;
        QLoggingCategory::setFilterRules(QStringLiteral("melvorin.wire.info=true"));
        CreateAndExpectScan();
        device->SendToLoopback(ListReply({{BytesOf("AB"), 50}}));
        QTRY_COMPARE(LvSsid(*form)->rowCount(), 1);
        const QString request = testing::Hex(testing::JoinRequest(BytesOf("AB"), BytesOf("12345678")));
        for (const bool show : {false, true}) {
            qt::ShowSecretsInWireLog(show);
            testing::DoubleClickRow(*form, 0);
            QCOMPARE(NextHex(*device), request);
            const QString line = lines.isEmpty() ? QString() : lines.last();
            const QString key =
                show ? QStringLiteral("31 32 33 34 35 36 37 38 ") : QStringLiteral("<key: 8 bytes> <checksum>");
            QVERIFY2(line.contains(QStringLiteral(" 18 bytes: ff 00 0e 02 00 41 42 0d 0a ") + key), qPrintable(line));
        }
    }
};

// Run with LANG=zh_CN.UTF-8 and with LANG=en_US.UTF-8.
class LocaleTests : public QObject, testing::WindowFixture<> {
    Q_OBJECT
    QTranslator translator;
    const bool chinese = qEnvironmentVariable("LANG").startsWith(QStringLiteral("zh"));

    // The program, run to its end: exit code, standard output and error.
    struct Run {
        int code;
        QString out, err;
    };
    static Run RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        ChildProcess p(MELVORIN_PROGRAM, args, ChildProcess::Output::Capture, env);
        const int code = p.WaitExit(15000);
        return {code, QString::fromStdString(p.Stdout()), QString::fromStdString(p.Stderr())};
    }

private slots:
    void initTestCase() {
        const QStringList dirs = qt::TranslationDirs(QFileInfo(QStringLiteral(MELVORIN_PROGRAM)).path());
        QCOMPARE(qt::LoadTranslation(translator, QLocale::system(), dirs), chinese);
        QCoreApplication::installTranslator(&translator);
    }
    void init() { SetUpWindow(); }
    void cleanup() { TearDownWindow(); }

    void addedTextsTranslatedSpecifiedOnesNot() {
        CreateAndExpectScan();
        const QString status = LblStatus(*form)->text();
        QCOMPARE(status.startsWith(QStringLiteral("已在")) && status.contains(QStringLiteral("默认路由")), chinese);
        QCOMPARE(status.startsWith(QStringLiteral("Scan sent on the default route")), !chinese);
        QCOMPARE(BtnSearch(*form)->text(), QStringLiteral("重获SSID"));
        QCOMPARE(LvSsid(*form)->horizontalHeaderItem(0)->text(), QStringLiteral("SSID 双击即可连接↓"));
        QCOMPARE(KeyCaption(*form)->text(), QStringLiteral("Key"));
        QCOMPARE(LvSsid(*form)->accessibleName(), chinese ? QStringLiteral("网络列表") : QStringLiteral("Networks"));
    }

    void commandLineAndNoDisplay() {
        // Empty is as good as unset for all three.
        const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
        Run run = RunProgram({}, noDisplay);
        QCOMPARE(run.code, 1);
        QCOMPARE(run.err.count('\n'), 1);
        for (const char* word : {"DISPLAY", "WAYLAND_DISPLAY", "scripts/run --demo"}) QVERIFY(run.err.contains(word));
        QCOMPARE(run.err.contains(QStringLiteral("显示")), chinese);

        // A display that nobody serves, also one too long for a socket's name.
        for (const std::string& number : {std::string("97"), std::string(300, '9')}) {
            run = RunProgram({}, {"DISPLAY=:" + number, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
            QCOMPARE(run.code, 1);
            QVERIFY2(run.err.contains(":" + QString::fromStdString(number)) && run.err.count('\n') == 1,
                     qPrintable(run.err));
        }

        run = RunProgram({"--version"}, noDisplay);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringLiteral("melvorin %1\n").arg(kVersion));
        run = RunProgram({"--help"}, noDisplay);
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.contains("--verbose") && run.out.contains("--show-secrets") && run.out.contains("--version"));
    }

    void verboseLogsTheWire() {
        device->Drain();
        ChildProcess p(MELVORIN_PROGRAM, {"--verbose"}, ChildProcess::Output::Capture, {"QT_QPA_PLATFORM=offscreen"});
        QCOMPARE(NextHex(*device, 10000), QStringLiteral("ff00010102"));
        const testing::Octets reply = ListReply({{BytesOf("AB"), 50}});
        QVERIFY(device->SendToLoopback(reply));
        QString bytes;
        for (std::uint8_t b : reply) bytes += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0'));
        const QString received = QStringLiteral(" received lo from 127.0.0.1:1902 %1 bytes:%2\n").arg(reply.size()).arg(bytes);
        QVERIFY(p.WaitForStderr(received.toStdString()));
        // The scan's line is written after its send returns, so the reply's
        // line, from the listener's thread, can come before it.
        QVERIFY(p.WaitForStderr(" sent - to 255.255.255.255:1902 5 bytes: ff 00 01 01 02\n"));
        p.Signal(SIGTERM);
        QCOMPARE(p.WaitExit(15000), 0);
    }
};

std::unique_ptr<QObject> MakeStatusTests() { return std::make_unique<StatusTests>(); }
std::unique_ptr<QObject> MakeLocaleTests() { return std::make_unique<LocaleTests>(); }

}  // namespace melvorin::uitest

#include "status_test.moc"
