#include "net/wire_log.h"

#include <cstdio>

#include "protocol/frame.h"
#include "protocol/hex.h"

namespace melvorin::net {

namespace {

// Where the key starts in a join request; 0 when `data` is none.
std::size_t KeyStart(const TIdBytes& data) {
    constexpr std::size_t kSsidAt = 5;
    if (data.size() < kSsidAt + 3 || data[0] != kLeadByte || data[3] != Command::JoinRequest) return 0;
    for (std::size_t i = kSsidAt; i + 2 < data.size(); ++i) {
        if (data[i] == 0x0D && data[i + 1] == 0x0A) return i + 2;
    }
    return 0;
}

}  // namespace

std::string UtcTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(when);
    const sys_days day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss<milliseconds> time(ms - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

std::string WireBytes(const TIdBytes& data, bool showSecrets) {
    const std::size_t keyAt = showSecrets ? 0 : KeyStart(data);
    if (keyAt == 0) return Hex(data, ' ');
    // Up to the key, then the key's length and the checksum hidden.
    const std::size_t keyLength = data.size() - keyAt - 1;
    return Hex(TIdBytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(keyAt)), ' ') + " <key: " +
           std::to_string(keyLength) + (keyLength == 1 ? " byte>" : " bytes>") + " <checksum>";
}

std::string WireLogLine(const TIdLogEntry& entry, std::chrono::system_clock::time_point when, bool showSecrets) {
    const std::string time = UtcTime(when);
    if (entry.Kind == TIdLogKind::Dropped) return time + " dropped: " + entry.Message;
    const bool sent = entry.Kind == TIdLogKind::Sent;
    return time + (sent ? " sent " : " received ") + (entry.Interface.empty() ? "-" : entry.Interface) +
           (sent ? " to " : " from ") + entry.PeerIP + ":" + std::to_string(entry.PeerPort) + " " +
           std::to_string(entry.Data.size()) + " bytes: " + WireBytes(entry.Data, showSecrets);
}

}  // namespace melvorin::net
