#include <gtest/gtest.h>

#include <string>

#include "protocol/shown_name.h"

namespace melvorin {
namespace {

// The name rule as a table: what is shown as itself, and what is marked.
TEST(ShownNameTest, WhatShowsAsNothingOrABlankIsMarked) {
    // Shown as themselves: the full-width space; ZWNJ in Persian; ZWJ in an
    // emoji sequence (after the emoji's U+FE0F too) and after a Devanagari
    // virama, also at the end; an emoji's and an ideograph's variation
    // selector; a keycap; a replacement character the name already held.
    for (const std::string name :
         {"办公室\u3000WiFi", "\u0645\u06cc\u200c\u062e\u0648\u0627\u0647\u0645", "\U0001F469\u200D\U0001F4BB",
          "\U0001F3F3\uFE0F\u200D\U0001F308", "\u0915\u094D\u200D\u0937", "\u0915\u094D\u200D", "Cafe \u2615\uFE0F",
          "\u845B\U000E0100", "Lab 1\uFE0F\u20E3", "A\uFFFDB"}) {
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
        // Tag characters, U+034F, deprecated format characters, annotation
        // characters, the Braille blank, a Hangul filler.
        {"HomeNet\U000E0041\U000E0001", "HomeNet[U+E0041][U+E0001]"},
        {"Ho\u034Fme\u206A\uFFF9\u2800\u3164", "Ho[U+034F]me[U+206A][U+FFF9][U+2800][U+3164]"},
        // Blanks other than U+0020 and U+3000.
        {"Home\u00A0Net\u1680\u2000\u200A\u202F\u205F", "Home[U+00A0]Net[U+1680][U+2000][U+200A][U+202F][U+205F]"},
        // Joiners and selectors where nothing takes them: in Latin, leading,
        // trailing, doubled, after a space, between two families.
        {"Home\u200CNet\u200D", "Home[U+200C]Net[U+200D]"},
        {"\u200DHome\uFE0F", "[U+200D]Home[U+FE0F]"},
        {"\U0001F469\u200D\u200D\U0001F4BB", "\U0001F469[U+200D][U+200D]\U0001F4BB"},
        {"\u2615\uFE0F\uFE0F \uFE0E", "\u2615\uFE0F[U+FE0F] [U+FE0E]"},
        {"\u0645\u200C\U0001F4BB", "\u0645[U+200C]\U0001F4BB"},
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
