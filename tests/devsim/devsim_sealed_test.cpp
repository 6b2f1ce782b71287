// melvorin-devsim --sealed over UDP on loopback (inside the test's private
// network namespace), joined by the station's sealing code: the label code
// it prints names the key it advertises, the join opens and its result is
// tagged, a replay gets nothing, and neither the wire nor its -v log holds a
// run of the key; the key file made on first use is used again.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "child_process.h"
#include "protocol/hex.h"
#include "protocol/scan.h"
#include "seal/label_code.h"
#include "seal/sealed_join.h"
#include "udp_peer.h"

namespace melvorin::seal {
namespace {

using testing::UdpPeer;

const std::string kKey = "sealed\r\nsecret-42";

bool HoldsRun(const std::string& haystack, const std::string& run) { return haystack.find(run) != std::string::npos; }

TEST(DevsimSealed, JoinedSealedOnceWithNothingOfTheKeyOnTheWireOrInTheLog) {
  char folder[] = "/tmp/devsim-sealed-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string keyFile = std::string(folder) + "/unit.key";
  UdpPeer probe;
  ASSERT_TRUE(probe.Bind("", 0));
  const std::string port = std::to_string(probe.LocalPort());
  probe.Close();
  const std::vector<std::string> args = {"--port", port, "--sealed", "--unit-key", keyFile, "--key", kKey, "-v"};

  std::string code;
  {
    testing::ChildProcess dev(MELVORIN_DEVSIM_PATH, args);
    ASSERT_TRUE(dev.Started());
    ASSERT_TRUE(dev.WaitForStderr("listening on port")) << dev.Stderr();
    UdpPeer tool;
    ASSERT_TRUE(tool.Bind("127.0.0.1", 0));
    ASSERT_TRUE(tool.SendToLoopback(BuildScanRequest(), static_cast<std::uint16_t>(std::stoi(port))));
    const auto list = tool.Receive(5000);
    ASSERT_TRUE(list);
    const auto advert = FindAdvert(list->data);
    ASSERT_TRUE(advert) << Hex(list->data, ' ');
    code = LabelCode(advert->public_key);

    const Bytes key(kKey.begin(), kKey.end());
    const std::string ssid = "HomeNet";
    auto join = BuildSealedJoin(*advert, Bytes(ssid.begin(), ssid.end()), key, Bytes(kTokenSize, 0x42));
    ASSERT_TRUE(join);
    ASSERT_TRUE(tool.SendToLoopback(join->frame, static_cast<std::uint16_t>(std::stoi(port))));
    const auto result = tool.Receive(5000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->data[4], 0x01);
    EXPECT_EQ(result->data[5], 0x01);
    EXPECT_TRUE(ResultIsTagged(join->sender, result->data));
    // The replay: no answer.
    ASSERT_TRUE(tool.SendToLoopback(join->frame, static_cast<std::uint16_t>(std::stoi(port))));
    EXPECT_FALSE(tool.Receive(700));

    dev.Signal(SIGTERM);
    EXPECT_EQ(dev.WaitExit(), 0);
    EXPECT_TRUE(HoldsRun(dev.Stdout(), "label code: " + code + "\n")) << dev.Stdout();
    const std::string wire(join->frame.begin(), join->frame.end());
    for (std::size_t at = 0; at + 6 <= kKey.size(); ++at) {
      const std::string run = kKey.substr(at, 6);
      EXPECT_FALSE(HoldsRun(wire, run)) << run;
      EXPECT_FALSE(HoldsRun(dev.Stderr(), run)) << run;
      EXPECT_FALSE(HoldsRun(dev.Stderr(), Hex(Bytes(run.begin(), run.end()), ' '))) << run;
    }
  }
  struct stat info{};
  ASSERT_EQ(stat(keyFile.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  {
    testing::ChildProcess again(MELVORIN_DEVSIM_PATH, args);
    ASSERT_TRUE(again.WaitForStderr("listening on port")) << again.Stderr();
    again.Signal(SIGTERM);
    EXPECT_EQ(again.WaitExit(), 0);
    EXPECT_TRUE(HoldsRun(again.Stdout(), "label code: " + code + "\n")) << again.Stdout();
  }
  {
    // For the label: the code alone, as a QR code encoder takes it.
    std::vector<std::string> label = args;
    label.push_back("--label");
    testing::ChildProcess print(MELVORIN_DEVSIM_PATH, label);
    EXPECT_EQ(print.WaitExit(), 0);
    EXPECT_EQ(print.Stdout(), code + "\n");
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace melvorin::seal
