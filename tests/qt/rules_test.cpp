// The title rule with Qt's case mapping, and the real notice and error boxes.

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <memory>

#include "qt/app_title.h"
#include "qt/boxes.h"
#include "window/rules.h"

namespace melvorin::uitest {

namespace {

// Runs `check` on the modal box as soon as one is open.
void OnModal(std::function<void(QWidget*)> check) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            check(modal);
        }
    });
    timer->start();
}

}  // namespace

class RulesTests : public QObject {
    Q_OBJECT
private slots:
    void applicationTitle_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("unix path") << "/usr/bin/Melvorin.exe" << "Melvorin";
        QTest::newRow("bare name") << "melvorin" << "melvorin";
        QTest::newRow("first kept, rest lowered") << "build/src/app/MELVORIN" << "Melvorin";
        QTest::newRow("first lower stays") << "./mELVORIN" << "melvorin";
        QTest::newRow("backslash") << "C:\\Tools\\WiFiSetup.v2.exe" << "Wifisetup";
        QTest::newRow("mixed separators") << "a/b\\Tool" << "Tool";
        QTest::newRow("cut at first dot") << "/opt/x.y/Prog.tar.gz" << "Prog";
        QTest::newRow("dot first") << "/home/u/.hidden" << "";
        QTest::newRow("trailing slash") << "/usr/bin/" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("non-ascii lowered") << "/x/ÄÖÜ" << "Äöü";
    }
    void applicationTitle() {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(QString::fromStdString(window::MakeApplicationTitle(path.toStdString(), &qt::LowerCase)), title);
    }

    void noticeBoxLooksAndCopies() {
        qt::TNoticeBox box(QStringLiteral("Melvorin"), QStringLiteral("提交成功，请检查设备状态"));
        QCOMPARE(box.windowTitle(), QStringLiteral("Melvorin"));
        QCOMPARE(box.Text(), QStringLiteral("提交成功，请检查设备状态"));
        QCOMPARE(box.OkButton()->text(), QStringLiteral("OK"));
        QVERIFY(box.OkButton()->isDefault());
        QVERIFY(box.isModal());
        const QList<QLabel*> labels = box.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);  // no icon
        QCOMPARE(labels.first()->textFormat(), Qt::PlainText);

        box.show();
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(box.OkButton(), Qt::Key_C, Qt::ControlModifier);
        const QString rule(27, QLatin1Char('-'));
        QCOMPARE(QGuiApplication::clipboard()->text(), rule + "\nMelvorin\n" + rule + "\n提交成功，请检查设备状态\n" +
                                                           rule + "\nOK\n" + rule + "\n");
        QVERIFY(box.isVisible());  // Ctrl+C does not close it
    }

    void noticeBoxWrapsAtHalfTheScreen() {
        const int half = QGuiApplication::primaryScreen()->geometry().width() / 2;
        qt::TNoticeBox box(QStringLiteral("T"), QString(400, QLatin1Char('x')).replace(QLatin1Char('x'), "word "));
        box.show();
        QLabel* label = box.findChild<QLabel*>();
        QVERIFY(label->wordWrap());
        QVERIFY(label->width() <= half);
        QVERIFY(label->height() > 3 * label->fontMetrics().height());  // it wrapped
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY((box.frameGeometry().center() - screen.center()).manhattanLength() <= 4);
    }

    void noticeBoxAnswersEnterAndEsc_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("enter") << int(Qt::Key_Return);
        QTest::newRow("esc") << int(Qt::Key_Escape);
    }
    void noticeBoxAnswersEnterAndEsc() {
        QFETCH(int, key);
        bool sawIt = false;
        OnModal([&sawIt, key](QWidget* modal) {
            sawIt = qobject_cast<qt::TNoticeBox*>(modal) != nullptr;
            QTest::keyClick(modal, static_cast<Qt::Key>(key));
        });
        qt::TSystemBoxes boxes;
        QTimer failsafe;
        failsafe.setSingleShot(true);
        QObject::connect(&failsafe, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        failsafe.start(5000);
        boxes.ShowNotice("SSID出错了，请重获SSID");
        QVERIFY(failsafe.isActive());  // closed by the key, not by the fail-safe
        QVERIFY(sawIt);
    }

    void errorBoxIsAPlainTextStopBox() {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, text;
        Qt::TextFormat format = Qt::AutoText;
        int buttonCount = 0;
        OnModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                modal->close();
                return;
            }
            icon = box->icon();
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            buttonCount = static_cast<int>(box->buttons().size());
            QTest::keyClick(box, Qt::Key_Return);
        });
        qt::TSystemBoxes boxes;
        boxes.ShowError("<b>Socket Error # 10048\r\n'x' is not a valid integer value.</b>");
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(title, QStringLiteral("Melvorin"));
        QCOMPARE(text, QStringLiteral("<b>Socket Error # 10048\n'x' is not a valid integer value.</b>"));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(buttonCount, 1);
    }
};

std::unique_ptr<QObject> MakeRulesTests() { return std::make_unique<RulesTests>(); }

}  // namespace melvorin::uitest

#include "rules_test.moc"
