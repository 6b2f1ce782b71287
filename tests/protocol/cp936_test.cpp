#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "wire.h"

namespace melvorin::testing {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Cp936Test, KeyTextBecomesCodePageBytes) {
    EXPECT_EQ(TextToCp936(""), TIdBytes{});
    EXPECT_EQ(TextToCp936("Ab1 ~\x7F\t"), (TIdBytes{0x41, 0x62, 0x31, 0x20, 0x7E, 0x7F, 0x09}));
    EXPECT_EQ(TextToCp936("中文"), (TIdBytes{0xD6, 0xD0, 0xCE, 0xC4}));
    EXPECT_EQ(TextToCp936("\xE2\x82\xAC"), (TIdBytes{0x80}));  // the euro sign is 0x80 in code page 936
}

TEST(Cp936Test, KeyTextThatCannotBeEncodedRaises) {
    try {
        TextToCp936("a\xC2\x9F");  // U+009F
        FAIL();
    } catch (const EEncodingError& e) {
        EXPECT_EQ(e.Message(), "The key holds a character that code page 936 cannot encode.");
    }
    EXPECT_THROW(TextToCp936("\xF0\x9F\x98\x80"), EEncodingError);  // an emoji
    EXPECT_THROW(TextToCp936("a\xFF"), EEncodingError);             // not UTF-8
    EXPECT_THROW(TextToCp936("\xC0\xAF"), EEncodingError);          // overlong
    EXPECT_THROW(TextToCp936("\xED\xA0\x80"), EEncodingError);      // surrogate
}

TEST(Cp936Test, SsidBytesAreShownInTheirEncoding) {
    EXPECT_EQ(BytesToText({}), "");
    EXPECT_EQ(BytesToText({0x48, 0x6F, 0x6D, 0x65}), "Home");
    EXPECT_EQ(BytesToText({0xD6, 0xD0, 0xCE, 0xC4, 0x2D, 0x35, 0x47}), "中文-5G");
    EXPECT_EQ(BytesToText({0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87}), "中文");
    EXPECT_EQ(BytesToText({0x41, 0x00, 0xD6, 0xD0}), "A");
    EXPECT_EQ(BytesToText({0x00, 0x41}), "");
    EXPECT_EQ(BytesToText({0x41, 0x0D, 0x0A, 0x42}), "A\r\nB");
}

// Each name's bytes, the reading shown in a Chinese and in another locale,
// and the other reading (the tooltip's) where both are valid.
TEST(Cp936Test, NamesReadByTheRuleAndTheUsersLanguage) {
    const auto utf8 = [](const std::string& s) { return TIdBytes(s.begin(), s.end()); };
    struct Case {
        const char* what;
        TIdBytes bytes;
        std::string chinese, other;  // shown in a zh locale, and elsewhere
        std::optional<std::string> otherReading;  // in a zh locale
    };
    const Case cases[] = {
        // GBK 3楼WiFi is also valid UTF-8 (C2 A5 is the yen sign).
        {"GBK 3楼WiFi", {0x33, 0xC2, 0xA5, 0x57, 0x69, 0x46, 0x69}, "3楼WiFi", "3¥WiFi", "3¥WiFi"},
        // Three-byte sequences, and not code page 936 (AD E6 is no pair).
        {"UTF-8 中文网络", utf8("中文网络"), "中文网络", "中文网络", std::nullopt},
        {"UTF-8 Café", utf8("Café"), "Caf茅", "Café", "Café"},
        {"UTF-8 Дом", utf8("Дом"), "袛芯屑", "Дом", "Дом"},
        // Not valid UTF-8: code page 936 everywhere.
        {"GBK 办公室WiFi", {0xB0, 0xEC, 0xB9, 0xAB, 0xCA, 0xD2, 0x57, 0x69, 0x46, 0x69}, "办公室WiFi", "办公室WiFi",
         std::nullopt},
        // Valid both ways, but a four-byte sequence decides for UTF-8.
        {"UTF-8 emoji", {0xF0, 0x9F, 0x98, 0x80}, "\U0001F600", "\U0001F600", "馃榾"},
        {"ASCII", utf8("HomeNet"), "HomeNet", "HomeNet", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BytesToText(c.bytes, NameReading::Cp936), c.chinese);
        EXPECT_EQ(BytesToText(c.bytes, NameReading::Utf8), c.other);
        EXPECT_EQ(OtherReading(c.bytes, NameReading::Cp936), c.otherReading);
    }
    EXPECT_EQ(ReadingForLocale("zh_CN.UTF-8"), NameReading::Cp936);
    EXPECT_EQ(ReadingForLocale("zh_TW"), NameReading::Cp936);
    EXPECT_EQ(ReadingForLocale("en_US.UTF-8"), NameReading::Utf8);
    EXPECT_EQ(ReadingForLocale(""), NameReading::Utf8);
}

TEST(Cp936Test, BytesThatDoNotDecodeDoNotSwallowTheRest) {
    EXPECT_EQ(BytesToText({0x41, 0xFF, 0x42}), "A" + kFffd + "B");
    EXPECT_EQ(BytesToText({0x81, 0x7F, 0x43}), kFffd + "\x7F" "C");  // 0x7F is no trail byte
    EXPECT_EQ(BytesToText({0x41, 0xD6}), "A" + kFffd);               // lead byte cut off
    EXPECT_EQ(BytesToText({0xD6, 0xD0, 0xFF, 0xFF, 0xCE, 0xC4}), "中" + kFffd + kFffd + "文");
    EXPECT_EQ(Cp936ToText({0x41, 0x00, 0xFF, 0x42}), std::string("A\0", 2) + kFffd + "B");
}

TEST(Cp936Test, DisplayTextIsAlwaysValidUtf8) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const TIdBytes bytes = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), 0x5A, 0x5A};
            const std::string text = BytesToText(bytes);
            ASSERT_TRUE(IsValidUtf8(text)) << a << " " << b;
            if (a != 0 && b != 0) {
                // Whatever the first two bytes were, the last Z (which no byte
                // before it can take as its trail byte) is still shown.
                ASSERT_EQ(text.back(), 'Z') << a << " " << b;
            }
        }
    }
}

TEST(Cp936Test, ConversionsRunOnManyThreadsAtOnce) {
    const TIdBytes ssid = {0xD6, 0xD0, 0x81, 0x7F, 0xCE, 0xC4};
    const std::string expected = "中" + kFffd + "\x7F" "文";
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (BytesToText(ssid) != expected) ++failures[t];
                if (TextToCp936("密码") != TIdBytes{0xC3, 0xDC, 0xC2, 0xEB}) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace melvorin::testing
