// Deciding a join from a scan: which units offer the network, which unit
// --device names, which link each request goes out of, and the results.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/plan.h"
#include "protocol/cp936.h"
#include "protocol/hex.h"

namespace melvorin::cli {
namespace {

const std::vector<net::TIdInterface> kLinks = {{2, "wlan0", "192.168.4.2"}, {3, "wlan1", "192.168.4.2"}};
const TIdBytes kKey = {'1', '2', '3', '4', '5', '6', '7', '8'};

DeviceReport Unit(unsigned link, const std::string& address, std::vector<NetworkRow> networks,
                  std::optional<std::string> mac = std::nullopt) {
    DeviceReport d;
    d.address = address;
    d.interfaceIndex = link;
    d.interfaceName = link == 2 ? "wlan0" : link == 3 ? "wlan1" : "lo";
    d.networks = std::move(networks);
    d.mac = std::move(mac);
    return d;
}

NetworkRow Row(const std::string& text, const TIdBytes& raw) { return {text, raw, 50}; }
TIdBytes Bytes(const std::string& s) { return TIdBytes(s.begin(), s.end()); }

// The network by its shown name (markers), its JSON name, or its other
// reading; the first offer's bytes go into every unit's request.
TEST(Plan, FindsTheNetworkInEveryReadingAndSendsEachUnitItsOwnBytes) {
    SetPreferredReading(NameReading::Cp936);
    const TIdBytes both = TextToCp936("3楼WiFi");  // also UTF-8: 3¥WiFi
    const std::string hidden = "Home\u202Egnp";
    const std::vector<DeviceReport> units = {
        Unit(2, "192.168.4.1", {Row("Other", Bytes("Other")), Row("3楼WiFi", both)}),
        Unit(3, "192.168.4.1", {Row(hidden, Bytes(hidden))}),
        Unit(3, "192.168.4.7", {Row("Other", Bytes("Other"))}),
    };
    for (const std::string name : {"3楼WiFi", "3¥WiFi"}) {
        const NetworkPlan plan = PlanByName(units, name, kKey, kLinks);
        ASSERT_EQ(plan.targets.size(), 1u) << name;
        EXPECT_EQ(plan.raw, both);
        EXPECT_EQ(plan.shown, "3楼WiFi");
        EXPECT_EQ(plan.targets[0].unit, (UnitKey{2, "192.168.4.1"}));
        EXPECT_EQ(plan.targets[0].frame, JoinFrame(both, kKey));
    }
    for (const std::string& name : {hidden, std::string("Home[U+202E]gnp")}) {
        const NetworkPlan plan = PlanByName(units, name, kKey, kLinks);
        ASSERT_EQ(plan.targets.size(), 1u) << name;
        EXPECT_EQ(plan.targets[0].unit, (UnitKey{3, "192.168.4.1"}));
    }
    EXPECT_TRUE(PlanByName(units, "3?WiFi", kKey, kLinks).targets.empty());
    SetPreferredReading(NameReading::Utf8);
}

// Two units at one address on two links get a request each, out of their
// own link; units on one link share one; a unit on no broadcast link (as on
// loopback) is sent to as the scan goes.
TEST(Plan, GroupsRequestsByLinkAndKeepsUnitsAtOneAddressApart) {
    const std::vector<NetworkRow> home = {Row("HomeNet", Bytes("HomeNet"))};
    const std::vector<DeviceReport> units = {Unit(2, "192.168.4.1", home), Unit(3, "192.168.4.1", home),
                                             Unit(3, "192.168.4.9", home), Unit(1, "127.0.0.1", home)};
    const NetworkPlan plan = PlanByName(units, "HomeNet", kKey, kLinks);
    const std::vector<JoinRequest> requests = GroupByLink(plan.targets);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].interfaceIndex, 2u);
    EXPECT_EQ(requests[0].units, (std::vector<UnitKey>{{2, "192.168.4.1"}}));
    EXPECT_EQ(requests[1].interfaceIndex, 3u);
    EXPECT_EQ(requests[1].units, (std::vector<UnitKey>{{3, "192.168.4.1"}, {3, "192.168.4.9"}}));
    EXPECT_EQ(requests[2].interfaceIndex, 0u);
    EXPECT_EQ(requests[2].units, (std::vector<UnitKey>{{1, "127.0.0.1"}}));

    // Results by link, in the order of the units; none from the second unit.
    std::map<UnitKey, JoinReport> results;
    results[{3, "192.168.4.1"}] = {"192.168.4.1", "wlan1", Verdict::KeyFormat, "k", {}, {}};
    results[{2, "192.168.4.1"}] = {"192.168.4.1", "wlan0", Verdict::Accepted, "a", "24:6f:28:00:00:01", {}};
    std::vector<Target> two = {plan.targets[0], plan.targets[2]};
    two[1].mac = "02:00:00:00:00:02";
    const std::vector<JoinReport> out = AssembleResults(two, results);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].verdict, Verdict::Accepted);
    EXPECT_EQ(out[0].mac, "24:6f:28:00:00:01");
    EXPECT_EQ(out[1].verdict, Verdict::NoResult);
    EXPECT_EQ(out[1].interfaceName, "wlan1");
    EXPECT_EQ(out[1].mac, "02:00:00:00:00:02");
    // A unit addressed without its link (no scan) takes the result from its
    // address on whichever link it came.
    const std::vector<JoinReport> unlinked = AssembleResults({Target{{0, "192.168.4.1"}, "", 0, {}, {}, {}}}, results);
    ASSERT_EQ(unlinked.size(), 1u);
    EXPECT_NE(unlinked[0].verdict, Verdict::NoResult);
}

// --device names a unit by its IPv4 or hardware address; one that two units
// answer to is ambiguous, and the refusal names both.
TEST(Plan, DeviceChoiceByEitherAddressAndAmbiguity) {
    const std::vector<DeviceReport> units = {Unit(2, "192.168.4.1", {}, "24:6f:28:00:00:01"),
                                             Unit(3, "192.168.4.1", {}, "02:00:00:00:00:02"),
                                             Unit(3, "192.168.4.9", {})};
    for (const char* bad : {"192.168.4", "24:6f:28:00:00", "24:6f:28-00-00-01", "wlan0", ""}) {
        EXPECT_FALSE(ParseDeviceChoice(bad).has_value()) << bad;
    }
    const auto chosen = [&units](const std::string& text) { return ChosenUnits(units, *ParseDeviceChoice(text)); };
    ASSERT_EQ(chosen("24-6F-28-00-00-01").size(), 1u);
    EXPECT_EQ(chosen("24-6F-28-00-00-01")[0].interfaceIndex, 2u);
    EXPECT_EQ(chosen("192.168.4.9").size(), 1u);
    EXPECT_TRUE(chosen("24:6f:28:00:00:02").empty());

    const std::vector<DeviceReport> both = chosen("192.168.4.1");
    ASSERT_EQ(both.size(), 2u);
    const std::string message = AmbiguityMessage(*ParseDeviceChoice("192.168.4.1"), both);
    EXPECT_NE(message.find("192.168.4.1 (24:6f:28:00:00:01) on wlan0"), std::string::npos) << message;
    EXPECT_NE(message.find("192.168.4.1 (02:00:00:00:00:02, locally administered) on wlan1"), std::string::npos)
        << message;
}

}  // namespace
}  // namespace melvorin::cli
