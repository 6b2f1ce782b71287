#include <gtest/gtest.h>

#include <string>

#include "protocol/shown_name.h"

namespace melvorin {
namespace {

TEST(ShownNameTest, OnlyWhatHidesOrReordersTextIsMarked) {
    // Shown as themselves: the full-width space, ZWNJ, ZWJ in an emoji, a
    // Hangul filler, a replacement character the name already held.
    for (const std::string name : {"办公室\u3000WiFi", "\u0645\u06cc\u200c\u062e\u0648\u0627\u0647\u0645",
                                   "\U0001F469\u200D\U0001F4BB", "\u3164Home", "A\uFFFDB"}) {
        const ShownName shown = ShowName(name);
        EXPECT_EQ(shown.text, name);
        EXPECT_FALSE(shown.marked) << name;
    }
    const struct {
        std::string name, shown;
    } marked[] = {
        {"Home\u202Egnp.exe", "Home[U+202E]gnp.exe"},
        {"HomeNet\u200B", "HomeNet[U+200B]"},
        {"\uFEFFHome", "[U+FEFF]Home"},
        {"Ho\u00ADme", "Ho[U+00AD]me"},
        {"A\u2028B\u2029", "A[U+2028]B[U+2029]"},
        {"\u2066x\u2069\u061C\u200E", "[U+2066]x[U+2069][U+061C][U+200E]"},
    };
    for (const auto& m : marked) {
        const ShownName shown = ShowName(m.name);
        EXPECT_EQ(shown.text, m.shown);
        EXPECT_TRUE(shown.marked) << m.shown;
    }
    // Bytes that are not strict UTF-8 (an overlong form, a surrogate) never
    // pass through. Controls are in the command line's test.
    EXPECT_EQ(ShowName("\xC0\xAF\xED\xA0\x80").text, "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace melvorin
