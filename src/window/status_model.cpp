#include "window/status_model.h"

#include "window/texts.h"

namespace melvorin::window {

namespace {


bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Blanks at both ends removed, every inner run of them made one space.
std::string Simplified(const std::string& text) {
    std::string out;
    bool blank = false;
    for (const char c : text) {
        if (IsBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string Where(const std::vector<std::string>& interfaces) {
    if (interfaces.empty()) return MLV_TR("StatusLine", "the default route");
    std::string names;
    for (const std::string& name : interfaces) {
        if (!names.empty()) names += ", ";
        names += name;
    }
    return names;
}

std::string WayText(TJoinWay way) {
    switch (way) {
    case TJoinWay::Sealed:
        //: How a join request went: its key sealed to the unit's own key.
        return MLV_TR("StatusLine", "sealed");
    case TJoinWay::Clear:
        break;
    }
    //: How a join request went: its key readable by anyone on the network.
    return MLV_TR("StatusLine", "in clear");
}

std::string Failures(const std::vector<net::TIdSendFailure>& failed) {
    std::string out;
    for (const net::TIdSendFailure& f : failed) {
        out += ' ' + Format(MLV_TR("StatusLine", "Could not send on %1: %2"), {f.Interface, Simplified(f.Message)});
        if (out.back() != '.') out += '.';
    }
    return out;
}

}  // namespace

void TStatusModel::SetTimeouts(std::chrono::milliseconds scan, std::chrono::milliseconds join) {
    scanTimeout_ = scan;
    joinTimeout_ = join;
}

void TStatusModel::ScanSent(const std::vector<std::string>& interfaces,
                            const std::vector<net::TIdSendFailure>& failed) {
    view_.StopTimer(TTimer::Join);
    scanWhere_ = Where(interfaces);
    view_.StartTimer(TTimer::Scan, scanTimeout_);
    Say(Format(MLV_TR("StatusLine", "Scan sent on %1; waiting for a device\u2026"), {scanWhere_}) + Failures(failed),
        !failed.empty());
}

void TStatusModel::NothingSent(const std::vector<net::TIdSendFailure>& failed) {
    view_.StopTimer(TTimer::Scan);
    view_.StopTimer(TTimer::Join);
    Say(Trimmed(Failures(failed)));
}

void TStatusModel::ListShown(int networks, const std::string& deviceAddress, const std::string& interface,
                             const TUnitName& unit) {
    view_.StopTimer(TTimer::Scan);
    const std::string where = interface.empty() ? MLV_TR("StatusLine", "an unknown interface") : interface;
    if (!unit.hardware.empty()) {
        //: A unit's hardware address and its maker: "24:6f:28:00:00:01, Espressif Inc."
        const std::string which =
            unit.maker.empty() ? unit.hardware : Format(MLV_TR("StatusLine", "%1, %2"), {unit.hardware, unit.maker});
        Say(networks == 1
                ? Format(MLV_TR("StatusLine", "1 network from the device at %1 (%2) on %3."), {deviceAddress, which, where})
                : Format(MLV_TR("StatusLine", "%1 networks from the device at %2 (%3) on %4."),
                         {std::to_string(networks), deviceAddress, which, where}));
        return;
    }
    Say(networks == 1 ? Format(MLV_TR("StatusLine", "1 network from the device at %1 on %2."), {deviceAddress, where})
                      : Format(MLV_TR("StatusLine", "%1 networks from the device at %2 on %3."),
                               {std::to_string(networks), deviceAddress, where}));
}

void TStatusModel::JoinSent(const std::string& ssid, const std::vector<std::string>& interfaces,
                            const std::vector<net::TIdSendFailure>& failed, bool wpa2Key, TJoinWay way) {
    view_.StopTimer(TTimer::Scan);
    joinSsid_ = ssid;
    joinWay_ = WayText(way);
    joinWpa2Key_ = wpa2Key;
    view_.StartTimer(TTimer::Join, joinTimeout_);
    //: %2: "sealed" or "in clear"; %3: the interfaces.
    Say(Format(MLV_TR("StatusLine", "Join request for \u201c%1\u201d sent %2 on %3; waiting for the device\u2026"),
               {ssid, joinWay_, Where(interfaces)}) +
        Failures(failed));
}

void TStatusModel::JoinAnswered(const std::string& message, bool keyFormatRefused) {
    view_.StopTimer(TTimer::Join);
    const std::string hint =
        keyFormatRefused && !joinWpa2Key_
            ? ' ' + MLV_TR("StatusLine", "A WPA2 network takes a key of 8 to 63 characters, or of 64 hexadecimal digits.")
            : std::string();
    if (joinSsid_.empty()) {
        Say(Format(MLV_TR("StatusLine", "A device answered a join request: %1"), {message}) + hint);
        return;
    }
    //: %2: "sealed" or "in clear"; %3: the join result's message.
    Say(Format(MLV_TR("StatusLine", "The device answered the join request for \u201c%1\u201d, sent %2: %3"),
               {joinSsid_, joinWay_, message}) +
        hint);
}

void TStatusModel::Online(const std::string& address) {
    //: The unit a join went to announced its address on the network it joined.
    const std::string text = Format(MLV_TR("StatusLine", "online at %1"), {address});
    if (text == said_) return;
    view_.StopTimer(TTimer::Join);
    Say(text);
}

void TStatusModel::TimedOut(TTimer timer) {
    if (timer == TTimer::Scan) {
        Say(Format(MLV_TR("StatusLine", "No device answered the scan on %1. Is this computer on the device's network or "
                                    "connected to its access point?"),
                   {scanWhere_}));
    } else {
        //: %2: "sealed" or "in clear".
        Say(Format(MLV_TR("StatusLine", "The device did not answer the join request for \u201c%1\u201d, sent %2."),
                   {joinSsid_, joinWay_}));
    }
}

void TStatusModel::SetUnasked(long count) {
    if (count == unasked_) return;
    unasked_ = count;
    Say(said_);
}

void TStatusModel::Say(const std::string& text, bool outcome) {
    said_ = text;
    std::string line = text;
    if (unasked_ > 0) {
        line += ' ' + (unasked_ == 1 ? MLV_TR("StatusLine", "(1 unasked join result ignored)")
                                      : Format(MLV_TR("StatusLine", "(%1 unasked join results ignored)"),
                                               {std::to_string(unasked_)}));
    }
    view_.SetStatusText(line);
    if (outcome) view_.AnnounceStatusText(line);
}

}  // namespace melvorin::window
