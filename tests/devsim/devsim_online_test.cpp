// melvorin-devsim --target-link in a namespace of its own, joined over one
// veth link by a station in another: after a join it accepts, its online
// announcement arrives on the second link, from that link's address, with
// that link's hardware address; unflagged after a clear join, tagged for
// the station's own sealed join after a sealed one, and repeated.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "child_process.h"
#include "netns_links.h"
#include "protocol/hex.h"
#include "protocol/join.h"
#include "protocol/online.h"
#include "protocol/ports.h"
#include "protocol/scan.h"
#include "seal/online_tag.h"
#include "seal/sealed_join.h"
#include "udp_peer.h"

namespace melvorin::seal {
namespace {

using testing::Ip;
using testing::UdpPeer;

constexpr std::uint16_t kPort = 1902;
const Bytes kMac = {0x02, 0x00, 0x00, 0x00, 0x41, 0x02};
const Bytes kTargetAddress = {10, 203, 0, 2};

// The unit's namespace, known to `ip netns` while the test runs.
struct UnitNetns {
  std::string name = "mlvonline" + std::to_string(::getpid());
  bool made = Ip("netns add " + name);
  ~UnitNetns() {
    if (made) Ip("netns delete " + name);
  }
};

// The next announcement on `listener` that is sealed as asked, within 5 s.
std::optional<std::pair<TOnline, Bytes>> NextOnline(UdpPeer& listener, bool sealed) {
  for (int i = 0; i < 8; ++i) {
    const auto got = listener.Receive(5000);
    if (!got) return std::nullopt;
    const auto online = ParseOnline(got->data);
    EXPECT_TRUE(online) << Hex(got->data, ' ');
    EXPECT_EQ(got->fromIP, "10.203.0.2");
    if (online && online->sealed == sealed) return std::make_pair(*online, got->data);
  }
  return std::nullopt;
}

TEST(DevsimOnline, AnnouncedOnTheTargetLinkClearAndSealed) {
  testing::ScopedNetns station;
  if (!station.Problem().empty()) GTEST_SKIP() << "no namespace of our own: " << station.Problem();
  UnitNetns unit;
  ASSERT_TRUE(unit.made);
  const std::string in = " netns " + unit.name, n = "-n " + unit.name + " ";
  ASSERT_TRUE(Ip("link add mlvs0 type veth peer name mlvu0" + in) && Ip("addr add 10.202.0.1/24 dev mlvs0") &&
              Ip("link set mlvs0 up"));
  ASSERT_TRUE(Ip("link add mlvt0 type veth peer name mlvu1" + in) && Ip("addr add 10.203.0.1/24 dev mlvt0") &&
              Ip("link set mlvt0 up"));
  ASSERT_TRUE(Ip(n + "link set lo up") && Ip(n + "addr add 10.202.0.2/24 dev mlvu0") && Ip(n + "link set mlvu0 up") &&
              Ip(n + "link set mlvu1 address 02:00:00:00:41:02") && Ip(n + "addr add 10.203.0.2/24 dev mlvu1") &&
              Ip(n + "link set mlvu1 up"));

  char folder[] = "/tmp/devsim-online-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::unique_ptr<testing::ChildProcess> dev;
  {
    testing::ScopedNetns inUnit(unit.name);
    ASSERT_TRUE(inUnit.Problem().empty()) << inUnit.Problem();
    dev = std::make_unique<testing::ChildProcess>(
        MELVORIN_DEVSIM_PATH, std::vector<std::string>{"--sealed", "--unit-key", std::string(folder) + "/unit.key",
                                                      "--target-link", "mlvu1", "-v"});
  }
  ASSERT_TRUE(dev->WaitForStderr("listening on port")) << dev->Stderr();
  UdpPeer tool, listener;
  ASSERT_TRUE(tool.Bind("10.202.0.1", 0) && listener.Bind("", kReplyPort));
  const Bytes ssid = {'H', 'o', 'm', 'e', 'N', 'e', 't'}, key(10, 'k');

  ASSERT_TRUE(tool.SendTo("10.202.0.2", kPort, BuildJoinRequest(ssid, key)));
  ASSERT_TRUE(tool.Receive(5000));
  const auto clear = NextOnline(listener, false);
  ASSERT_TRUE(clear) << dev->Stderr();
  EXPECT_EQ(Bytes(clear->first.mac.begin(), clear->first.mac.end()), kMac);
  EXPECT_EQ(Bytes(clear->first.ipv4.begin(), clear->first.ipv4.end()), kTargetAddress);

  ASSERT_TRUE(tool.SendTo("10.202.0.2", kPort, BuildScanRequest()));
  const auto list = tool.Receive(5000);
  ASSERT_TRUE(list);
  const auto advert = FindAdvert(list->data);
  ASSERT_TRUE(advert);
  const Bytes token(kTokenSize, 0x5A);
  auto join = BuildSealedJoin(*advert, ssid, key, token);
  ASSERT_TRUE(join);
  ASSERT_TRUE(tool.SendTo("10.202.0.2", kPort, join->frame));
  const auto result = tool.Receive(5000);
  ASSERT_TRUE(result && ResultIsTagged(join->sender, result->data));
  const auto sealed = NextOnline(listener, true);
  ASSERT_TRUE(sealed) << dev->Stderr();
  EXPECT_EQ(Bytes(sealed->first.mac.begin(), sealed->first.mac.end()), kMac);
  EXPECT_EQ(Bytes(sealed->first.ipv4.begin(), sealed->first.ipv4.end()), kTargetAddress);
  EXPECT_EQ(Bytes(sealed->first.token.begin(), sealed->first.token.end()), token);
  EXPECT_TRUE(OnlineIsTagged(join->sender, sealed->first));
  // Repeated a second later, the same bytes.
  const auto again = listener.Receive(3000);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->data, sealed->second);

  dev->Signal(SIGTERM);
  EXPECT_EQ(dev->WaitExit(), 0);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace melvorin::seal
