#include "cli/record_line.h"

#include "net/wire_log.h"
#include "protocol/hex.h"

namespace melvorin::cli {

namespace {

std::string OrNull(const std::optional<std::string>& text) { return text ? JsonString(*text) : "null"; }

}  // namespace

std::string RecordLine(const RecordRun& run, const JoinReport& result, std::chrono::system_clock::time_point when) {
    std::string out = "{\"time\": " + JsonString(net::UtcTime(when));
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
