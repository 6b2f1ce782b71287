#include "cli/record_line.h"

#include <cstdio>

#include "protocol/hex.h"

namespace melvorin::cli {

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

namespace {

std::string OrNull(const std::optional<std::string>& text) { return text ? JsonString(*text) : "null"; }

}  // namespace

std::string RecordLine(const RecordRun& run, const JoinReport& result, std::chrono::system_clock::time_point when) {
    std::string out = "{\"time\": " + JsonString(UtcTimestamp(when));
    const auto field = [&out](const char* name, const std::string& json) {
        out += ", \"";
        out += name;
        out += "\": ";
        out += json;
    };
    field("station", JsonString(run.station));
    field("interface", JsonString(result.interfaceName));
    field("address", JsonString(result.address));
    field("mac", OrNull(result.mac));
    field("vendor", OrNull(result.vendor));
    field("ssid", JsonString(run.ssid));
    field("ssid_hex", JsonString(Hex(run.raw)));
    field("verdict", JsonString(VerdictWord(result.verdict)));
    field("message", JsonString(result.message));
    field("program", JsonString(run.program));
    return out + "}";
}

}  // namespace melvorin::cli
