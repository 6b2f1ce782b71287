// The line join --record writes for a result.

#include <gtest/gtest.h>

#include "cli/record_line.h"

namespace melvorin::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(RecordLine, HoldsEveryFieldAsTheJoinJsonWritesItAndNoKey) {
    const system_clock::time_point when{milliseconds(1796840670123)};
    const RecordRun run{"bench-3", "melvorin-cli 0.2.0", "办公室\u202eWiFi", {0xB0, 0xEC, 0x22}};
    const JoinReport known{"192.168.4.1", "wlan0", Verdict::Accepted, "提交成功，请检查设备状态",
                           "24:6f:28:00:00:01", "Joint Stock Company \"Espressif\"", false, {}};
    EXPECT_EQ(RecordLine(run, known, when),
              "{\"time\": \"2026-12-09T18:24:30.123Z\", \"station\": \"bench-3\", \"interface\": \"wlan0\", "
              "\"address\": \"192.168.4.1\", \"mac\": \"24:6f:28:00:00:01\", "
              "\"vendor\": \"Joint Stock Company \\\"Espressif\\\"\", \"ssid\": \"办公室\\u202eWiFi\", "
              "\"ssid_hex\": \"b0ec22\", \"verdict\": \"accepted\", \"message\": \"提交成功，请检查设备状态\", "
              "\"program\": \"melvorin-cli 0.2.0\", \"sealed\": false, \"online\": null}");
    JoinReport online = known;
    online.online = Online{"10.41.9.57", "eth1", true};
    const std::string onlineLine = RecordLine(run, online, when);
    EXPECT_EQ(onlineLine.substr(onlineLine.rfind(", \"sealed\"")), ", \"sealed\": false, \"online\": \"10.41.9.57\"}");
    EXPECT_NE(onlineLine.find("\"verdict\": \"online\""), std::string::npos) << onlineLine;

    const JoinReport unknown{"10.0.0.7", "", Verdict::NoResult, "", std::nullopt, std::nullopt, false, {}};
    const std::string line = RecordLine(run, unknown, system_clock::time_point{milliseconds(951868799007)});
    const std::string start = "{\"time\": \"2000-02-29T23:59:59.007Z\", ";
    EXPECT_EQ(line.substr(0, start.size()), start);
    EXPECT_NE(line.find("\"interface\": \"\", \"address\": \"10.0.0.7\", \"mac\": null, \"vendor\": null, "),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("\"verdict\": \"no_result\", \"message\": \"\""), std::string::npos) << line;
}

}  // namespace
}  // namespace melvorin::cli
