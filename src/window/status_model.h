#pragma once

// The line under the window's layout that says what happened: where a scan
// went and what answered it, where a join request went and what became of
// it, and how many unasked join results were ignored. It only ever sets the
// line's text: no box, no focus. Its two time-outs run on the window's
// timers.

#include <chrono>
#include <string>
#include <vector>

#include "net/udp_server.h"

namespace melvorin::window {

enum class TTimer { Scan, Join };

// How a join request went: the line says so while it waits and once it is
// answered or timed out.
enum class TJoinWay { Clear, Sealed };

// Which unit sent a list, where known: its hardware address as written
// ("24:6f:28:00:00:01") and its maker; each empty when unknown.
struct TUnitName {
    std::string hardware;
    std::string maker;
};

// What the status line needs from a window.
class IStatusView {
public:
    virtual ~IStatusView() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // Called after SetStatusText when the new line reports an outcome (what
    // a scan or a join came to, a request that could not go, unasked results
    // counted), which a screen reader should speak; not for a line that only
    // says a scan is on its way.
    virtual void AnnounceStatusText(const std::string& text) { static_cast<void>(text); }
    // One-shot timers: a started timer replaces its earlier start; when it
    // runs out the window calls the logic's TimedOut(timer).
    virtual void StartTimer(TTimer timer, std::chrono::milliseconds after) = 0;
    virtual void StopTimer(TTimer timer) = 0;
};

class TStatusModel {
public:
    explicit TStatusModel(IStatusView& view) : view_(view) {}

    // A scan request went out of `interfaces` (empty: by the route) and not
    // out of `failed`.
    void ScanSent(const std::vector<std::string>& interfaces, const std::vector<net::TIdSendFailure>& failed = {});
    // A list reply filled the list with `networks` rows; `unit` names the
    // sender beside its address when its hardware address is known.
    void ListShown(int networks, const std::string& deviceAddress, const std::string& interface,
                   const TUnitName& unit = {});
    // A join request for `ssid` (as the list shows it) went out of
    // `interfaces` and not out of `failed`; `wpa2Key`: whether a WPA2
    // network takes its key; `way`: sealed or in clear.
    void JoinSent(const std::string& ssid, const std::vector<std::string>& interfaces,
                  const std::vector<net::TIdSendFailure>& failed = {}, bool wpa2Key = true,
                  TJoinWay way = TJoinWay::Clear);
    // A request went out of no interface: each one's failure.
    void NothingSent(const std::vector<net::TIdSendFailure>& failed);
    // The join result's message, before its notice box opens; after a
    // refused key format for a key no WPA2 network takes, what one takes.
    void JoinAnswered(const std::string& message, bool keyFormatRefused = false);
    // The joined unit announced itself online at `address` ("192.168.1.57")
    // on a link of this station; a repeat of it is not said again.
    void Online(const std::string& address);
    // How many join results came with no join outstanding and were dropped.
    void SetUnasked(long count);
    // A timer the line started ran out.
    void TimedOut(TTimer timer);

    // How long a scan or a join request waits for its answer before the line
    // says that none came. Only tests change them.
    void SetTimeouts(std::chrono::milliseconds scan, std::chrono::milliseconds join);
    static constexpr std::chrono::milliseconds kScanTimeout{3000};
    static constexpr std::chrono::milliseconds kJoinTimeout{10000};

private:
    void Say(const std::string& text, bool outcome = true);

    IStatusView& view_;
    std::chrono::milliseconds scanTimeout_ = kScanTimeout;
    std::chrono::milliseconds joinTimeout_ = kJoinTimeout;
    std::string said_;
    std::string scanWhere_;
    std::string joinSsid_;
    std::string joinWay_;  // "sealed" or "in clear", translated
    bool joinWpa2Key_ = true;
    long unasked_ = 0;
};

}  // namespace melvorin::window
