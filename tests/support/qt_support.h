#pragma once

// Shared by the window's QtTest programs (qt, hardening, e2e): recording
// boxes, driving the window like a user, and the programs' main.

#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "controls.h"
#include "udp_peer.h"
#include "window/boxes.h"
#include "wire.h"

class QObject;
class QWidget;

namespace melvorin::net {
class THandOver;
}
namespace melvorin::qt {
class TForm2;
}

namespace melvorin::testing {

// Records what the window would show; nothing blocks. Keeps every count but
// the texts only up to a limit, so that a flood of notices does not grow the
// test's own memory.
class RecordingBoxes : public window::IBoxes {
public:
    void ShowNotice(const std::string& text) override;
    void ShowError(const std::string& text) override { errors << QString::fromStdString(text); }
    void Beep() override { ++beeps; }

    long noticeCount = 0;
    QStringList notices;  // the first kKeptTexts only
    QStringList errors;
    int beeps = 0;
    // Notices open at once (a notice is "open" while onNotice runs).
    int openNotices = 0;
    int mostOpenNotices = 0;
    // Runs while the notice is open, as a modal box's loop would.
    std::function<void(const QString&)> onNotice;
    static constexpr int kKeptTexts = 64;
};

// A datagram as hex ("ff00010102"), for comparisons that print both sides.
QString Hex(const Octets& bytes);
// The next datagram `peer` receives within timeoutMs as hex, or "none".
QString NextHex(UdpPeer& peer, int timeoutMs = 3000, std::uint16_t* fromPort = nullptr);

QPoint CellCentre(qt::TForm2& form, int row, int column = 0);
// Selects `row` and double-clicks it, as the user does.
void DoubleClickRow(qt::TForm2& form, int row, int column = 0);
// A join result is shown only while a join request waits for it: asks for
// one as the user does (a list of one network from `device` where the window
// shows none, its first row double-clicked). True when the join request
// reached `device`.
bool AskForJoinResult(qt::TForm2& form, UdpPeer& device);

// One key event that delivers `text` to `w` (each character goes through the
// box's key filter).
void TypeText(QWidget* w, const QString& text);

using SuiteFactory = std::function<std::unique_ptr<QObject>()>;

// The main of a test program with several QtTest suites: argv[1] names the
// suite, the rest goes to QtTest. Refuses to run outside a private network
// namespace (the window broadcasts). `prepare`, given the suite's name, runs
// before the application object exists and returns a reason to give up, or
// nothing. The program's start-up runs (qt/start_up.h), with the
// application title "Melvorin", and a hand-over pump runs;
// WindowHandOver() is its hand-over, for the windows the suites make.
int RunQtSuite(int argc, char** argv, const std::map<std::string, SuiteFactory>& suites,
               const std::function<std::string(const std::string&)>& prepare = {});
net::THandOver& WindowHandOver();

}  // namespace melvorin::testing
