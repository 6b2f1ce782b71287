// What the window tells the user: the status line through a scan, silence,
// a list reply and joins with and without a result; Enter on a row; names
// with hidden characters. And, run once per language, the Chinese or English
// texts, and the program's own command line and start without a display.

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QTranslator>
#include <chrono>
#include <memory>

#include "melvorin/version.h"
#include "protocol/state.h"
#include "qt_support.h"
#include "ui/form2.h"
#include "ui/translations.h"

namespace melvorin::uitest {

using namespace std::chrono_literals;
using testing::BytesOf;
using testing::ListReply;
using testing::NextHex;

namespace {

// The window beside a stand-in device on port 1902, with short time-outs.
struct Stand {
    testing::RecordingBoxes boxes;
    testing::UdpPeer device;
    std::unique_ptr<ui::TForm2> form;

    bool Open() {
        ReleaseState();
        if (!device.Bind("", 1902)) return false;
        form = std::make_unique<ui::TForm2>(boxes);
        form->lblStatus->SetTimeouts(300ms, 300ms);
        return true;
    }
    ~Stand() {
        form.reset();
        ReleaseState();
    }
    QString Status() const { return form->lblStatus->text(); }
    // Keypad Enter, or the main Return key.
    void PressEnter(bool keypad = true) {
        QKeyEvent press(QEvent::KeyPress, keypad ? Qt::Key_Enter : Qt::Key_Return,
                        keypad ? Qt::KeypadModifier : Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(form->lvSsid, &press);
    }
};

}  // namespace

class StatusTests : public QObject {
    Q_OBJECT
private slots:
    void statusLineFollowsScanAndJoin() {
        Stand s;
        QVERIFY(s.Open());
        s.form->FormCreate();
        QCOMPARE(NextHex(s.device), QStringLiteral("ff00010102"));
        // Loopback only here: the scan goes by the route.
        QVERIFY2(s.Status().startsWith("Scan sent on the default route"), qPrintable(s.Status()));
        QTRY_VERIFY2(s.Status().startsWith("No device answered the scan on the default route. Is this computer on "
                                           "the device's network"),
                     qPrintable(s.Status()));

        s.device.SendToLoopback(ListReply({{BytesOf("AB"), 50}, {BytesOf("CD"), 7}}));
        QTRY_COMPARE(s.Status(), QStringLiteral("2 networks from the device at 127.0.0.1 on lo."));

        // Enter on a selected row sends what a double-click sends.
        testing::DoubleClickRow(*s.form, 1);
        const QString byClick = NextHex(s.device);
        QVERIFY(byClick.startsWith("ff00") && byClick.contains("43440d0a"));
        s.PressEnter();
        QCOMPARE(NextHex(s.device), byClick);
        QCOMPARE(s.Status(), QStringLiteral("Join request for \u201cCD\u201d sent on the default route; waiting for "
                                            "the device\u2026"));
        QTRY_COMPARE(s.Status(), QStringLiteral("The device did not answer the join request for \u201cCD\u201d."));

        // The result is on the line before its notice box opens.
        s.PressEnter(false);
        QCOMPARE(NextHex(s.device), byClick);
        QString statusAtNotice;
        s.boxes.onNotice = [&](const QString&) { statusAtNotice = s.Status(); };
        s.device.SendToLoopback(testing::JoinResult(0x01, 0x01));
        QTRY_COMPARE(s.boxes.notices, QStringList{QStringLiteral("提交成功，请检查设备状态")});
        QCOMPARE(statusAtNotice,
                 QStringLiteral("The device answered the join request for \u201cCD\u201d: 提交成功，请检查设备状态"));
        QTest::qWait(400);  // the join's time-out does not overwrite it
        QCOMPARE(s.Status(), statusAtNotice);
        // A repeat came unasked: no box, only counted.
        s.device.SendToLoopback(testing::JoinResult(0x01, 0x01));
        QTRY_COMPARE(s.Status(), statusAtNotice + QStringLiteral(" (1 unasked join result ignored)"));
        QCOMPARE(s.boxes.notices.size(), 1);
        QCOMPARE(s.boxes.errors, QStringList());
        QVERIFY(!s.form->lblStatus->hasFocus() && s.form->lblStatus->focusPolicy() == Qt::NoFocus);
    }

    void hiddenCharactersAreShownAndJoinedRaw() {
        Stand s;
        QVERIFY(s.Open());
        s.form->FormCreate();
        NextHex(s.device);
        s.device.SendToLoopback(ListReply({{BytesOf("Home\u202Egnp.exe"), 1},
                                           {BytesOf("HomeNet\u200B"), 2},
                                           {BytesOf("HomeNet"), 3},
                                           {BytesOf("<b>Bold"), 4}}));
        QTRY_COMPARE(s.form->lvSsid->rowCount(), 4);
        auto item = [&](int row) { return s.form->lvSsid->item(row, 0); };
        QCOMPARE(item(0)->text(), QStringLiteral("Home[U+202E]gnp.exe"));
        QCOMPARE(item(1)->text(), QStringLiteral("HomeNet[U+200B]"));
        QVERIFY(item(1)->text() != item(2)->text());
        QVERIFY(item(0)->toolTip().contains("48 6f 6d 65 e2 80 ae 67"));
        QVERIFY(item(1)->toolTip().contains("e2 80 8b"));
        QVERIFY(!item(2)->toolTip().contains("Bytes"));  // shown as it is: no bytes
        QVERIFY(item(3)->toolTip().contains("&lt;b&gt;Bold"));  // a name is never markup

        s.form->lvSsid->selectRow(1);
        s.PressEnter();
        QCOMPARE(NextHex(s.device), testing::Hex(testing::JoinRequest(BytesOf("HomeNet\u200B"), BytesOf("12345678"))));
        QCOMPARE(s.Status().section(QChar(0x201D), 0, 0),
                 QStringLiteral("Join request for \u201cHomeNet[U+200B]"));
    }
};

// Run with LANG=zh_CN.UTF-8 and with LANG=en_US.UTF-8.
class LocaleTests : public QObject {
    Q_OBJECT
    QTranslator translator;
    const bool chinese = qEnvironmentVariable("LANG").startsWith(QStringLiteral("zh"));
    const QString program = QStringLiteral(MELVORIN_PROGRAM);

    // The program run with `env` changes; its exit code and standard error.
    std::pair<int, QString> Run(const QStringList& args, const std::map<QString, QString>& env = {},
                                QString* out = nullptr) {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : env) {
            if (value.isNull()) e.remove(name); else e.insert(name, value);
        }
        p.setProcessEnvironment(e);
        p.start(program, args);
        if (!p.waitForFinished(15000)) {
            p.kill();
            p.waitForFinished();
        }
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void initTestCase() {
        QCOMPARE(ui::LoadTranslation(translator, QLocale::system(), ui::TranslationDirs(QFileInfo(program).path())),
                 chinese);
        QCoreApplication::installTranslator(&translator);
    }

    void addedTextsTranslatedSpecifiedOnesNot() {
        Stand s;
        QVERIFY(s.Open());
        s.form->FormCreate();
        QCOMPARE(NextHex(s.device), QStringLiteral("ff00010102"));
        QCOMPARE(s.Status().startsWith(QStringLiteral("已在")) && s.Status().contains(QStringLiteral("默认路由")), chinese);
        QCOMPARE(s.Status().startsWith(QStringLiteral("Scan sent on the default route")), !chinese);
        QCOMPARE(s.form->btnSearch->text(), QStringLiteral("重获SSID"));
        QCOMPARE(s.form->lvSsid->horizontalHeaderItem(0)->text(), QStringLiteral("SSID 双击即可连接↓"));
        QCOMPARE(s.form->Key->text(), QStringLiteral("Key"));
    }

    void commandLineAndNoDisplay() {
        const QString none;  // removes the variable
        const std::map<QString, QString> noDisplay = {
            {"DISPLAY", none}, {"WAYLAND_DISPLAY", none}, {"QT_QPA_PLATFORM", none}};
        auto [code, err] = Run({}, noDisplay);
        QCOMPARE(code, 1);
        QCOMPARE(err.count('\n'), 1);
        for (const char* word : {"DISPLAY", "WAYLAND_DISPLAY", "scripts/run --demo"}) QVERIFY(err.contains(word));
        QCOMPARE(err.contains(QStringLiteral("显示")), chinese);

        // A display that nobody serves.
        std::tie(code, err) = Run({}, {{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", none}, {"QT_QPA_PLATFORM", none}});
        QCOMPARE(code, 1);
        QVERIFY2(err.contains(":97") && err.count('\n') == 1, qPrintable(err));

        QString out;
        std::tie(code, err) = Run({"--version"}, noDisplay, &out);
        QCOMPARE(code, 0);
        QCOMPARE(out, QStringLiteral("melvorin %1\n").arg(kVersion));
        std::tie(code, err) = Run({"--help"}, noDisplay, &out);
        QCOMPARE(code, 0);
        QVERIFY(out.contains("--verbose") && out.contains("--version"));
    }

    void verboseLogsTheWire() {
        testing::UdpPeer device;
        QVERIFY(device.Bind("", 1902));
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(e);
        p.start(program, {"--verbose"});
        QCOMPARE(NextHex(device, 10000), QStringLiteral("ff00010102"));
        QVERIFY(device.SendToLoopback(ListReply({{BytesOf("AB"), 50}})));
        QTest::qWait(500);
        p.terminate();
        QVERIFY(p.waitForFinished(15000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(" sent - to 255.255.255.255:1902 5 bytes: ff 00 01 01 02\n"), qPrintable(err));
        const testing::Octets reply = ListReply({{BytesOf("AB"), 50}});
        QString bytes;
        for (std::uint8_t b : reply) bytes += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0'));
        QVERIFY2(err.contains(QStringLiteral(" received lo from 127.0.0.1:1902 %1 bytes:%2\n").arg(reply.size()).arg(bytes)),
                 qPrintable(err));
    }
};

std::unique_ptr<QObject> MakeStatusTests() { return std::make_unique<StatusTests>(); }
std::unique_ptr<QObject> MakeLocaleTests() { return std::make_unique<LocaleTests>(); }

}  // namespace melvorin::uitest

#include "status_tests.moc"
