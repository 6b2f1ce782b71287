// melvorin-devsim's command line and networks file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devsim/options.h"

namespace melvorin::devsim {
namespace {

TIdBytes Bytes(const std::string& s) { return TIdBytes(s.begin(), s.end()); }

// The UsageError message of parsing `args`, or "" when they parse.
std::string ErrorOf(const std::vector<std::string>& args) {
    try {
        ParseArgs(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "";
}

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        char name[] = "/tmp/devsim-networks-XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(DevsimOptions, DefaultsAndEachOption) {
    const Options def = ParseArgs({});
    EXPECT_EQ(def.port, 1902);
    EXPECT_FALSE(def.replyBroadcast);
    EXPECT_FALSE(def.verbose);
    EXPECT_FALSE(def.config.key.has_value());
    EXPECT_EQ(def.config.networks.size(), DefaultNetworkSpecs().size());

    const Options opt = ParseArgs({"--port", "4000", "--network", "A:1", "--network=B:2", "--key", "k", "-v",
                                   "--reply-broadcast"});
    EXPECT_EQ(opt.port, 4000);
    EXPECT_TRUE(opt.replyBroadcast);
    EXPECT_TRUE(opt.verbose);
    ASSERT_EQ(opt.config.networks.size(), 2u);  // given networks replace the defaults
    EXPECT_EQ(opt.config.networks[0].ssid, Bytes("A"));
    EXPECT_EQ(opt.config.networks[1].strength, 2);
    EXPECT_EQ(*opt.config.key, Bytes("k"));
    EXPECT_TRUE(ParseArgs({"--help"}).help);
    EXPECT_TRUE(ParseArgs({"-h", "--port", "1"}).help);
}

TEST(DevsimOptions, NetworkSpecs) {
    // Split at the last ':'; the SSID may hold ':'.
    const Network colon = ParseNetworkArg("a:b::c:7", false);
    EXPECT_EQ(colon.ssid, Bytes("a:b::c"));
    EXPECT_EQ(colon.strength, 7);
    EXPECT_EQ(ParseNetworkArg("x:0", false).strength, 0);
    EXPECT_EQ(ParseNetworkArg("x:255", false).strength, 255);
    // GBK by default, UTF-8 bytes on request.
    EXPECT_EQ(ParseNetworkArg("家:5", false).ssid, (TIdBytes{0xBC, 0xD2}));
    EXPECT_EQ(ParseNetworkArg("家:5", true).ssid, Bytes("家"));

    for (const std::string bad : {"nocolon", ":5", "x:", "x:256", "x:-1", "x: 5", "x:5 ", "x:0x10", "x:1000000"}) {
        EXPECT_THROW(ParseNetworkArg(bad, false), UsageError) << bad;
    }
    // A character that code page 936 cannot hold needs --utf8.
    const std::string emoji = "Cafe\xF0\x9F\x98\x80";
    EXPECT_NE(ErrorOf({"--network", emoji + ":5"}).find("--utf8"), std::string::npos);
    EXPECT_EQ(ErrorOf({"--utf8", "--network", emoji + ":5"}), "");
    // --utf8 applies to networks given before it as well.
    EXPECT_EQ(ParseArgs({"--network", "家:5", "--utf8"}).config.networks[0].ssid, Bytes("家"));
}

TEST(DevsimOptions, BadArgumentsAreReported) {
    EXPECT_NE(ErrorOf({"--bogus"}).find("unknown argument \"--bogus\""), std::string::npos);
    EXPECT_NE(ErrorOf({"extra"}).find("unknown argument"), std::string::npos);
    EXPECT_NE(ErrorOf({"--port"}).find("--port needs a value"), std::string::npos);
    for (const std::string port : {"0", "65536", "abc", "-1", "+80", "", "19 02", "99999999"}) {
        EXPECT_NE(ErrorOf({"--port", port}).find("not a port number"), std::string::npos) << port;
    }
    EXPECT_EQ(ParseArgs({"--port", "65535"}).port, 65535);
    EXPECT_NE(ErrorOf({"--network"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ErrorOf({"--network", "x:300"}).find("0 to 255"), std::string::npos);
    EXPECT_NE(ErrorOf({"--key", ""}).find("must not be empty"), std::string::npos);
    EXPECT_NE(ErrorOf({"--verbose=yes"}).find("takes no value"), std::string::npos);
    EXPECT_NE(ErrorOf({"--networks", "/nonexistent/devsim.txt"}).find("cannot read"), std::string::npos);
    EXPECT_EQ(ParseArgs({"--target-link", "veth1"}).targetLink, "veth1");
    for (const std::string link : {"", "a/b", "sixteen-letters!"}) {
        EXPECT_NE(ErrorOf({"--target-link", link}).find("not an interface name"), std::string::npos) << link;
    }
    EXPECT_NE(ErrorOf({"--target-link", "veth1", "--devices", "2"}).find("one device"), std::string::npos);
    // Networks that the tool could not read back are refused at start-up.
    EXPECT_NE(ErrorOf({"--network", std::string("a\rb:5")}).find("line break"), std::string::npos);
    std::vector<std::string> many;
    for (int i = 0; i < 256; ++i) {
        std::string network = "n";  // built in steps: GCC 12 at -O3 warns falsely on a chain of +
        network.append(std::to_string(i)).append(":1");
        many.insert(many.end(), {"--network", network});
    }
    EXPECT_NE(ErrorOf(many).find("too many networks"), std::string::npos);
}

TEST(DevsimOptions, NetworksFile) {
    const TempFile file(
        "# networks of the lab\n"
        "\n"
        "HomeNet:82\r\n"
        "   \n"
        "办公室-5G:61\n"
        " spaced name :9\n"
        "last:1");  // no final newline
    const Options opt = ParseArgs({"--networks", file.path(), "--network", "extra:3"});
    ASSERT_EQ(opt.config.networks.size(), 5u);
    EXPECT_EQ(opt.config.networks[0].ssid, Bytes("HomeNet"));
    EXPECT_EQ(opt.config.networks[0].strength, 82);
    EXPECT_EQ(opt.config.networks[1].ssid, (TIdBytes{0xB0, 0xEC, 0xB9, 0xAB, 0xCA, 0xD2, '-', '5', 'G'}));
    EXPECT_EQ(opt.config.networks[2].ssid, Bytes(" spaced name "));
    EXPECT_EQ(opt.config.networks[3].ssid, Bytes("last"));
    EXPECT_EQ(opt.config.networks[4].ssid, Bytes("extra"));

    const TempFile bad("good:1\nbad line\n");
    EXPECT_NE(ErrorOf({"--networks", bad.path()}).find("\"bad line\""), std::string::npos);

    // A file of comments only gives a device that sees no network.
    const TempFile none("# nothing here\n");
    EXPECT_TRUE(ParseArgs({"--networks", none.path()}).config.networks.empty());
}

TEST(DevsimOptions, KeyIsMatchedAsTheToolSendsIt) {
    // The tool sends keys in code page 936, whatever --utf8 says of SSIDs.
    EXPECT_EQ(*ParseArgs({"--key", "密码"}).config.key, (TIdBytes{0xC3, 0xDC, 0xC2, 0xEB}));
    EXPECT_EQ(*ParseArgs({"--utf8", "--key", "密码"}).config.key, (TIdBytes{0xC3, 0xDC, 0xC2, 0xEB}));
}

TEST(DevsimOptions, HelpTellsTheOptionsAndExitCodes) {
    const std::string text = UsageText();
    for (const char* word : {"--port", "--network ", "--networks", "--utf8", "--key", "--reply-broadcast",
                             "--verbose", "--help", "SIGTERM", "code 2", "listening on port"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

}  // namespace
}  // namespace melvorin::devsim
