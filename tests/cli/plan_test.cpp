// Deciding a join from a scan: which units offer the network, which unit
// --device names, which link each request goes out of, and the results.

#include <gtest/gtest.h>

#include "cli/plan.h"
#include "protocol/cp936.h"

namespace melvorin::cli {
namespace {

const std::vector<net::TIdInterface> kLinks = {{2, "wlan0", "192.168.4.2"}, {3, "wlan1", "192.168.4.2"}};
const TIdBytes kKey = {'1', '2', '3', '4', '5', '6', '7', '8'};

TIdBytes Bytes(const std::string& s) { return TIdBytes(s.begin(), s.end()); }

DeviceReport Unit(unsigned link, const std::string& address, const std::string& ssid = "HomeNet",
                  std::optional<std::string> mac = std::nullopt, TIdBytes raw = {}) {
    return {address, link == 2 ? "wlan0" : link == 3 ? "wlan1" : "lo", link,
            {{ssid, raw.empty() ? Bytes(ssid) : raw, 50}}, std::move(mac), std::nullopt, std::nullopt};
}

// By the shown name (markers), the JSON's name, or the other reading; the
// request carries the bytes the unit sent.
TEST(Plan, FindsTheNetworkInEveryReading) {
    SetPreferredReading(NameReading::Cp936);
    const TIdBytes both = TextToCp936("3楼WiFi");  // also UTF-8: 3¥WiFi
    const std::vector<DeviceReport> units = {Unit(2, "192.168.4.1", "3楼WiFi", {}, both),
                                             Unit(3, "192.168.4.1", "Home\u202Egnp"), Unit(3, "192.168.4.7", "Other")};
    for (const std::string name : {"3楼WiFi", "3¥WiFi", "Home\u202Egnp", "Home[U+202E]gnp"}) {
        const NetworkPlan plan = PlanByName(units, name, kKey, kLinks);
        ASSERT_EQ(plan.targets.size(), 1u) << name;
        const bool first = name[0] == '3';
        EXPECT_EQ(plan.targets[0].unit, (UnitKey{first ? 2u : 3u, "192.168.4.1"})) << name;
        EXPECT_EQ(plan.targets[0].frame, JoinFrame(first ? both : Bytes("Home\u202Egnp"), kKey)) << name;
    }
    EXPECT_TRUE(PlanByName(units, "3?WiFi", kKey, kLinks).targets.empty());
    SetPreferredReading(NameReading::Utf8);
}

// Two units at one address on two links: a request each, out of its own
// link; units on one link share one; a unit on no broadcast link (loopback)
// is sent to as the scan goes. Results by link, no_result where none came.
TEST(Plan, GroupsByLinkAndKeepsUnitsAtOneAddressApart) {
    const std::vector<DeviceReport> units = {Unit(2, "192.168.4.1"), Unit(3, "192.168.4.1", "HomeNet", "02:00:00:00:00:02"),
                                             Unit(3, "192.168.4.9"), Unit(1, "127.0.0.1")};
    const NetworkPlan plan = PlanByName(units, "HomeNet", kKey, kLinks);
    const std::vector<JoinRequest> requests = GroupByLink(plan.targets);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].interfaceIndex, 2u);
    EXPECT_EQ(requests[0].units, (std::vector<UnitKey>{{2, "192.168.4.1"}}));
    EXPECT_EQ(requests[1].interfaceIndex, 3u);
    EXPECT_EQ(requests[1].units, (std::vector<UnitKey>{{3, "192.168.4.1"}, {3, "192.168.4.9"}}));
    EXPECT_EQ(requests[2].interfaceIndex, 0u);
    EXPECT_EQ(requests[2].units, (std::vector<UnitKey>{{1, "127.0.0.1"}}));

    std::map<UnitKey, JoinReport> results;
    results[{2, "192.168.4.1"}] = {"192.168.4.1", "wlan0", Verdict::Accepted, "a", {}, {}, false, {}};
    const std::vector<JoinReport> out = AssembleResults(plan.targets, results);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].verdict, Verdict::Accepted);
    EXPECT_EQ(out[1].verdict, Verdict::NoResult);
    EXPECT_EQ(out[1].interfaceName, "wlan1");
    EXPECT_EQ(out[1].mac, "02:00:00:00:00:02");
    // Addressed without its link (no scan): the result from its address.
    std::vector<Target> unscanned(1);
    unscanned[0].unit = {0, "192.168.4.1"};
    EXPECT_EQ(AssembleResults(unscanned, results)[0].verdict, Verdict::Accepted);
}

// --device by IPv4 or hardware address; one two units answer to is refused,
// both named.
TEST(Plan, DeviceChoiceByEitherAddressAndAmbiguity) {
    const std::vector<DeviceReport> units = {Unit(2, "192.168.4.1", "A", "24:6f:28:00:00:01"),
                                             Unit(3, "192.168.4.1", "A", "02:00:00:00:00:02"), Unit(3, "192.168.4.9")};
    for (const char* bad : {"192.168.4", "24:6f:28:00:00", "24:6f:28-00-00-01", "wlan0", ""}) {
        EXPECT_FALSE(ParseDeviceChoice(bad).has_value()) << bad;
    }
    const auto chosen = [&units](const std::string& text) { return ChosenUnits(units, *ParseDeviceChoice(text)); };
    ASSERT_EQ(chosen("24-6F-28-00-00-01").size(), 1u);
    EXPECT_EQ(chosen("24-6F-28-00-00-01")[0].interfaceIndex, 2u);
    EXPECT_EQ(chosen("192.168.4.9").size(), 1u);
    EXPECT_TRUE(chosen("24:6f:28:00:00:02").empty());
    const std::string message = AmbiguityMessage(*ParseDeviceChoice("192.168.4.1"), chosen("192.168.4.1"));
    EXPECT_NE(message.find("192.168.4.1 (24:6f:28:00:00:01) on wlan0; "
                           "192.168.4.1 (02:00:00:00:00:02, locally administered) on wlan1"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace melvorin::cli
