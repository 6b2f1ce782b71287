#pragma once

// The line under the window's layout that says what happened: where a scan
// went and what answered it, where a join request went and what became of
// it, and how many unasked join results were ignored. It only ever sets its
// own text: no box, no focus.

#include <QLabel>
#include <QString>
#include <QTimer>
#include <chrono>
#include <string>
#include <vector>

#include "net/udp_server.h"

namespace melvorin::ui {

class TStatusLine : public QLabel {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // A scan request went out of `interfaces` (empty: by the route) and not
    // out of `failed`.
    void ScanSent(const std::vector<std::string>& interfaces, const std::vector<net::TIdSendFailure>& failed = {});
    // A list reply filled the list with `networks` rows.
    void ListShown(int networks, const std::string& deviceAddress, const std::string& interface);
    // A join request for `ssid` (as the list shows it) went out of
    // `interfaces` and not out of `failed`.
    void JoinSent(const QString& ssid, const std::vector<std::string>& interfaces,
                  const std::vector<net::TIdSendFailure>& failed = {});
    // A request went out of no interface: each one's failure.
    void NothingSent(const std::vector<net::TIdSendFailure>& failed);
    // The join result's message, before its notice box opens.
    void JoinAnswered(const QString& message);
    // How many join results came with no join outstanding and were dropped.
    void SetUnasked(long count);

    // How long a scan or a join request waits for its answer before the line
    // says that none came. Only tests change them.
    void SetTimeouts(std::chrono::milliseconds scan, std::chrono::milliseconds join);
    static constexpr std::chrono::milliseconds kScanTimeout{3000};
    static constexpr std::chrono::milliseconds kJoinTimeout{10000};

private:
    void Say(const QString& text);
    QString Where(const std::vector<std::string>& interfaces) const;
    QString Failures(const std::vector<net::TIdSendFailure>& failed) const;

    QTimer scanTimer_;
    QTimer joinTimer_;
    QString said_;
    QString scanWhere_;
    QString joinSsid_;
    long unasked_ = 0;
};

}  // namespace melvorin::ui
