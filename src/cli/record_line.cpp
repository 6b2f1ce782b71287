#include "cli/record_line.h"

#include "net/wire_log.h"
#include "protocol/hex.h"

namespace melvorin::cli {

std::string RecordLine(const RecordRun& run, const JoinReport& result, std::chrono::system_clock::time_point when) {
    std::string out = "{\"time\": " + JsonString(net::UtcTime(when));
    const auto field = [&out](const char* name, const std::string& json) {
        out += ", ";
        out += Field(name, json);
    };
    field("station", JsonString(run.station));
    field("interface", JsonString(result.interfaceName));
    field("address", JsonString(result.address));
    field("mac", Nullable(result.mac));
    field("vendor", Nullable(result.vendor));
    field("ssid", JsonString(run.ssid));
    field("ssid_hex", JsonString(Hex(run.raw)));
    field("verdict", JsonString(result.online ? "online" : VerdictWord(result.verdict)));
    field("message", JsonString(result.message));
    field("program", JsonString(run.program));
    field("sealed", result.sealed ? "true" : "false");
    field("online", result.online ? JsonString(result.online->address) : "null");
    return out + "}";
}

bool AppendRecords(units::RecordFile& file, const RecordRun& run, const std::vector<JoinReport>& results,
                   const std::function<void(const std::string&)>& note) {
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> lines;
    for (const JoinReport& result : results) lines.push_back(RecordLine(run, result, now));
    try {
        file.Append(lines);
    } catch (const units::RecordError& e) {
        note(e.what());
        return false;
    }
    return true;
}

}  // namespace melvorin::cli
