#include "qt_support.h"

#include <QApplication>
#include <QByteArray>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "netns_guard.h"
#include "qt/app_title.h"
#include "qt/start_up.h"
#include "qt/form2.h"
#include "qt/handover_pump.h"
#include "qt/widgets.h"

namespace melvorin::testing {

namespace {
qt::THandOverPump* gPump = nullptr;  // RunQtSuite's, while the suite runs
}  // namespace

net::THandOver& WindowHandOver() {
    return gPump->HandOver();
}

void RecordingBoxes::ShowNotice(const std::string& utf8) {
    const QString text = QString::fromStdString(utf8);
    ++noticeCount;
    if (notices.size() < kKeptTexts) notices << text;
    ++openNotices;
    mostOpenNotices = std::max(mostOpenNotices, openNotices);
    struct Closing {
        int& open;
        ~Closing() { --open; }
    } closing{openNotices};
    if (onNotice) onNotice(text);
}

QString Hex(const Octets& bytes) {
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size())).toHex());
}

QString NextHex(UdpPeer& peer, int timeoutMs, std::uint16_t* fromPort) {
    const auto got = peer.Receive(timeoutMs);
    if (!got) return QStringLiteral("none");
    if (fromPort != nullptr) *fromPort = got->fromPort;
    return Hex(got->data);
}

QPoint CellCentre(qt::TForm2& form, int row, int column) {
    return LvSsid(form)->visualRect(LvSsid(form)->model()->index(row, column)).center();
}

void DoubleClickRow(qt::TForm2& form, int row, int column) {
    QTest::mouseClick(LvSsid(form)->viewport(), Qt::LeftButton, {}, CellCentre(form, row, column));
    QTest::mouseDClick(LvSsid(form)->viewport(), Qt::LeftButton, {}, CellCentre(form, row, column));
}

bool AskForJoinResult(qt::TForm2& form, UdpPeer& device) {
    if (LvSsid(form)->rowCount() == 0) {
        if (!device.SendToLoopback(ListReply({{{'A', 'B'}, 50}}))) return false;
        if (!QTest::qWaitFor([&] { return LvSsid(form)->rowCount() > 0; }, 3000)) return false;
    }
    device.Drain();
    LvSsid(form)->selectRow(0);
    form.Logic().lvSsidDblClick();
    const QString request = NextHex(device);
    return request.startsWith(QStringLiteral("ff00")) && request.mid(6, 2) == QStringLiteral("02");
}

void TypeText(QWidget* w, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

int RunQtSuite(int argc, char** argv, const std::map<std::string, SuiteFactory>& suites,
               const std::function<std::string(const std::string&)>& prepare) {
    const std::string problem = PrivateNetnsProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: refusing to run outside a private network namespace: %s\n", argv[0],
                     problem.c_str());
        return 2;
    }
    const auto suite = argc < 2 ? suites.end() : suites.find(argv[1]);
    if (suite == suites.end()) {
        std::string names;
        for (const auto& [name, factory] : suites) names += (names.empty() ? "" : "|") + name;
        std::fprintf(stderr, "usage: %s %s [QtTest options]\n", argv[0], names.c_str());
        return 2;
    }
    if (prepare) {
        const std::string failure = prepare(suite->first);
        if (!failure.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[0], failure.c_str());
            return 2;
        }
    }
    QApplication app(argc, argv);
    // The program's own start-up, but always with the title "Melvorin".
    qt::StartUp(QString::fromLocal8Bit(argv[0]));
    qt::SetApplicationTitle(QStringLiteral("Melvorin"));
    qt::THandOverPump pump;
    gPump = &pump;
    struct Forget {
        ~Forget() { gPump = nullptr; }
    } forget;
    const std::unique_ptr<QObject> tests = suite->second();
    std::vector<char*> args{argv[0]};
    for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
    return QTest::qExec(tests.get(), static_cast<int>(args.size()), args.data());
}

}  // namespace melvorin::testing
