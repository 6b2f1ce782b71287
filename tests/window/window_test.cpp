// The window's logic without a window or a socket: the status line's
// wording and time-outs, the key filters, how a network's row is shown and
// the small rules every window applies.

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <string>
#include <vector>

#include "protocol/cp936.h"
#include "protocol/shown_name.h"
#include "window/error_text.h"
#include "window/layout.h"
#include "window/rules.h"
#include "window/status_model.h"
#include "window/texts.h"
#include "window/translation_table.h"

namespace melvorin::window {
namespace {

using namespace std::chrono_literals;

// The line's text, the lines a screen reader was asked to speak and the
// timers, as a window would hold them.
class FakeStatusView : public IStatusView {
public:
    void SetStatusText(const std::string& text) override { line = text; }
    void AnnounceStatusText(const std::string& text) override { spoken.push_back(text); }
    void StartTimer(TTimer timer, std::chrono::milliseconds after) override { running[timer] = after; }
    void StopTimer(TTimer timer) override { running.erase(timer); }

    std::string line;
    std::vector<std::string> spoken;
    std::map<TTimer, std::chrono::milliseconds> running;
};

TEST(StatusModel, ScanWaitsThenSaysNoDeviceAnsweredUnlessAListCame) {
    FakeStatusView view;
    TStatusModel status(view);
    status.ScanSent({});
    EXPECT_EQ(view.line, "Scan sent on the default route; waiting for a device\u2026");
    EXPECT_EQ(view.running.at(TTimer::Scan), 3000ms);
    EXPECT_TRUE(view.spoken.empty());  // on its way: not an outcome
    status.TimedOut(TTimer::Scan);
    EXPECT_EQ(view.line,
              "No device answered the scan on the default route. Is this computer on the device's network or "
              "connected to its access point?");

    status.ScanSent({"eth0", "wlan0"}, {{"mlvfw", "  Socket Error # 10013\n Access denied.  "}});
    EXPECT_EQ(view.line, "Scan sent on eth0, wlan0; waiting for a device\u2026 Could not send on mlvfw: Socket Error "
                         "# 10013 Access denied.");
    status.ListShown(1, "10.0.0.7", "wlan0");
    EXPECT_FALSE(view.running.count(TTimer::Scan));
    EXPECT_EQ(view.line, "1 network from the device at 10.0.0.7 on wlan0.");
    status.ListShown(12, "fe80::1", "");
    EXPECT_EQ(view.line, "12 networks from the device at fe80::1 on an unknown interface.");
    // Spoken: the silence, the send failure, both lists.
    EXPECT_EQ(view.spoken.size(), 4u);
    EXPECT_EQ(view.spoken.back(), view.line);
}

TEST(StatusModel, JoinRequestWaitsForItsAnswerAndUnaskedResultsAreCounted) {
    FakeStatusView view;
    TStatusModel status(view);
    status.JoinAnswered("提交成功，请检查设备状态");
    EXPECT_EQ(view.line, "A device answered a join request: 提交成功，请检查设备状态");

    status.SetTimeouts(5ms, 7ms);
    status.ScanSent({});
    status.JoinSent("Home[U+200B]", {"lo"}, {{"mlvok", "No route"}});
    EXPECT_FALSE(view.running.count(TTimer::Scan));
    EXPECT_EQ(view.running.at(TTimer::Join), 7ms);
    EXPECT_EQ(view.line, "Join request for \u201cHome[U+200B]\u201d sent in clear on lo; waiting for the device\u2026 Could not "
                         "send on mlvok: No route.");
    status.TimedOut(TTimer::Join);
    EXPECT_EQ(view.line, "The device did not answer the join request for \u201cHome[U+200B]\u201d, sent in clear.");
    status.JoinAnswered("SSID出错了，请重获SSID");
    EXPECT_FALSE(view.running.count(TTimer::Join));
    EXPECT_EQ(view.line, "The device answered the join request for \u201cHome[U+200B]\u201d, sent in clear: SSID出错了，请重获SSID");

    status.SetUnasked(1);
    EXPECT_EQ(view.line, "The device answered the join request for \u201cHome[U+200B]\u201d, sent in clear: SSID出错了，请重获SSID "
                         "(1 unasked join result ignored)");
    status.NothingSent({{"a", "down."}, {"b", "gone"}});
    EXPECT_EQ(view.line, "Could not send on a: down. Could not send on b: gone. (1 unasked join result ignored)");
    EXPECT_TRUE(view.running.empty());
    status.SetUnasked(3);
    EXPECT_EQ(view.line, "Could not send on a: down. Could not send on b: gone. (3 unasked join results ignored)");
    // Every line but the scan on its way was spoken.
    EXPECT_EQ(view.spoken.size(), 7u);
    EXPECT_EQ(view.spoken.back(), view.line);
}

TEST(StatusModel, TextsComeThroughTheInstalledTranslator) {
    SetTranslator([](const char* context, const char* text) -> std::string {
        return std::string(context) == "StatusLine" && std::string(text) == "1 network from the device at %1 on %2."
                   ? "%2 上来自 %1 的 1 个网络"
                   : "";
    });
    FakeStatusView view;
    TStatusModel status(view);
    status.ListShown(1, "10.0.0.7", "%1");  // an argument's own marker stays as it is
    SetTranslator(nullptr);
    EXPECT_EQ(view.line, "%1 上来自 10.0.0.7 的 1 个网络");
    status.ListShown(1, "10.0.0.7", "lo");
    EXPECT_EQ(view.line, "1 network from the device at 10.0.0.7 on lo.");
}

TEST(StatusModel, TheTableMadeFromTheTranslationFileTranslatesWithoutQt) {
    SetTranslator([](const char* context, const char* text) { return LookUp(kTranslationsZh, context, text); });
    FakeStatusView view;
    TStatusModel status(view);
    status.ScanSent({});
    SetTranslator(nullptr);
    EXPECT_EQ(view.line, "已在默认路由上发出扫描，正在等待设备……");
    // Texts the .ts holds with entities ("&apos;") and a "?" come out whole.
    EXPECT_EQ(LookUp(kTranslationsZh, "StatusLine",
                     "No device answered the scan on %1. Is this computer on the device's network or connected to "
                     "its access point?"),
              "没有设备回应在%1上发出的扫描。这台电脑是否连在设备所在的网络或设备的热点上？");
    EXPECT_EQ(LookUp(kTranslationsZh, "StatusLine", "no such text"), "");
}

// A list names its unit by hardware address and maker where known, in both
// languages; unknown, the line is as it always was.
TEST(StatusModel, ListNamesTheUnitWhereItsHardwareAddressIsKnown) {
    FakeStatusView view;
    TStatusModel status(view);
    const auto showAll = [&status] {
        status.ListShown(4, "192.168.4.1", "wlan0", {"24:6f:28:00:00:01", "Espressif Inc."});
        status.ListShown(1, "192.168.4.1", "", {"02:00:00:00:00:01", ""});
        status.ListShown(4, "127.0.0.1", "lo");
    };
    showAll();
    SetTranslator([](const char* context, const char* text) { return LookUp(kTranslationsZh, context, text); });
    showAll();
    SetTranslator(nullptr);
    EXPECT_EQ(view.spoken, (std::vector<std::string>{
                               "4 networks from the device at 192.168.4.1 (24:6f:28:00:00:01, Espressif Inc.) on wlan0.",
                               "1 network from the device at 192.168.4.1 (02:00:00:00:00:01) on an unknown interface.",
                               "4 networks from the device at 127.0.0.1 on lo.",
                               "来自wlan0上的设备192.168.4.1（24:6f:28:00:00:01，Espressif Inc.）的4个网络。",
                               "来自未知接口上的设备192.168.4.1（02:00:00:00:00:01）的1个网络。",
                               "来自设备127.0.0.1（lo）的4个网络。",
                           }));
}

// A join request says whether it went sealed, spoken, in both languages,
// until it is answered.
TEST(StatusModel, JoinSaysWhetherItWentSealedOrInClear) {
    FakeStatusView view;
    TStatusModel status(view);
    const auto joinTwice = [&status] {
        status.JoinSent("HomeNet", {"wlan0"}, {}, true, TJoinWay::Sealed);
        status.JoinAnswered("提交成功，请检查设备状态");
        status.JoinSent("Cafe", {"wlan0"}, {}, true, TJoinWay::Clear);
        status.TimedOut(TTimer::Join);
    };
    joinTwice();
    SetTranslator([](const char* context, const char* text) { return LookUp(kTranslationsZh, context, text); });
    joinTwice();
    SetTranslator(nullptr);
    EXPECT_EQ(view.spoken, (std::vector<std::string>{
                               "Join request for \u201cHomeNet\u201d sent sealed on wlan0; waiting for the device\u2026",
                               "The device answered the join request for \u201cHomeNet\u201d, sent sealed: "
                               "提交成功，请检查设备状态",
                               "Join request for \u201cCafe\u201d sent in clear on wlan0; waiting for the device\u2026",
                               "The device did not answer the join request for \u201cCafe\u201d, sent in clear.",
                               "已在wlan0上发出\u201cHomeNet\u201d的连接请求（已加密），正在等待设备……",
                               "设备回应了\u201cHomeNet\u201d的连接请求（已加密）：提交成功，请检查设备状态",
                               "已在wlan0上发出\u201cCafe\u201d的连接请求（明文），正在等待设备……",
                               "设备没有回应\u201cCafe\u201d的连接请求（明文）。",
                           }));
}

TEST(KeyFilters, PortBoxKeepsDigitsAndBackspaceOnlyKeyBoxDropsFromNoBreakSpaceOn) {
    for (char16_t c = 0; c < 0x200; ++c) {
        const bool digit = (c >= u'0' && c <= u'9') || c == 8;
        EXPECT_EQ(SearchPortKey(c), digit ? TKeyVerdict::Keep : TKeyVerdict::Beep) << int(c);
        EXPECT_EQ(KeyBoxKey(c), c < 160 ? TKeyVerdict::Keep : TKeyVerdict::Drop) << int(c);
    }
    EXPECT_EQ(SearchPortKey(u'\uFF11'), TKeyVerdict::Beep);  // a full-width digit
    EXPECT_EQ(KeyBoxKey(u'\uFFFF'), TKeyVerdict::Drop);
}

TNetwork Network(const TIdBytes& bytes, int strength) {
    const std::string text = BytesToText(bytes);
    return {bytes, text, ShowName(text), strength};
}

TEST(NetworkRows, NameStrengthAndATooltipWithBytesOnlyWhereTheNameHidesThem) {
    const TShownRow plain = ShowRow(Network({'H', 'o', 'm', 'e'}, 73));
    EXPECT_EQ(plain.name, "Home");
    EXPECT_EQ(plain.strength, "73%");
    EXPECT_EQ(plain.tip, std::vector<std::string>{"Home"});

    // A right-to-left override (the bytes no code page 936 text), and a name
    // cut at a zero byte.
    const TShownRow marked = ShowRow(Network({'a', 0xE2, 0x80, 0xAE}, 255));
    EXPECT_EQ(marked.name, "a[U+202E]");
    EXPECT_EQ(marked.strength, "255%");
    EXPECT_EQ(marked.tip, (std::vector<std::string>{"a[U+202E]", "Bytes: 61 e2 80 ae"}));
    EXPECT_EQ(ShowRow(Network({'a', 0x00, 'b'}, 0)).tip, (std::vector<std::string>{"a", "Bytes: 61 00 62"}));

    // Bytes valid both as UTF-8 and as code page 936: the other reading.
    SetPreferredReading(NameReading::Utf8);
    const TIdBytes both = {0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD};
    const TShownRow twice = ShowRow(Network(both, 5));
    ASSERT_EQ(twice.tip.size(), 2u);
    EXPECT_EQ(twice.tip[0], "你好");
    EXPECT_EQ(twice.tip[1], "Also reads as: " + ShowName(*OtherReading(both)).text);
}

// A full stop is added when the last character's first byte is above ".".
TEST(Rules, ErrorTextAddsAFullStopAfterCharactersAboveTheFullStop) {
    const std::pair<const char*, const char*> cases[] = {
        {"Range check error", "Range check error."},
        {"'' is not a valid integer value", "'' is not a valid integer value."},
        {"Could not bind socket. Address and port are already in use.",
         "Could not bind socket. Address and port are already in use."},
        {"", ""},
        {"Oops!", "Oops!"},
        {"f(x)", "f(x)"},
        {"50%", "50%"},
        {"trailing ", "trailing "},
        {"a-", "a-"},           // 0x2D
        {"a/", "a/."},          // 0x2F
        {"Socket Error # 10048", "Socket Error # 10048."},
        {"密码", "密码."},
        {"line\n", "line\n"},
    };
    for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorText(message), shown) << message;
}

TEST(Rules, TitleClipboardErrorAndLayout) {
    const auto asciiLower = [](std::string s) {
        for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return s;
    };
    EXPECT_EQ(MakeApplicationTitle("C:\\Tools\\WiFiSetup.v2.exe", asciiLower), "Wifisetup");
    EXPECT_EQ(MakeApplicationTitle("/x/ÄBC", asciiLower), "Äbc");  // the first character whole
    EXPECT_EQ(MakeApplicationTitle("/home/u/.hidden", asciiLower), "");
    EXPECT_EQ(MakeApplicationTitle("a/b\\", asciiLower), "");

    const std::string rule(27, '-');
    EXPECT_EQ(NoticeClipboardText("Melvorin", "提交成功", "OK"),
              rule + "\nMelvorin\n" + rule + "\n提交成功\n" + rule + "\nOK\n" + rule + "\n");

    EXPECT_EQ(PlaceOf("lvSsid").top, 130);
    EXPECT_EQ(PlaceOf("lblStatus").top, kClientHeight);
    EXPECT_EQ(Scaled(363, LayoutScale(16)), 447);  // 363 * 16 / 13 = 446.8
    EXPECT_EQ(LayoutScale(0), 1.0);
    EXPECT_EQ(WindowFontPixels(192), 22);
    EXPECT_EQ(WindowFontPixels(1), 1);
}

}  // namespace
}  // namespace melvorin::window
