// Which joins go sealed, in clear or not at all.

#include <gtest/gtest.h>

#include "seal/choice.h"
#include "seal/label_code.h"

namespace melvorin::seal {
namespace {

TEST(SealChoiceTest, PinsCodesAndTheRequirementDecide) {
    Advert offer;
    offer.public_key.assign(65, 0x11);
    offer.public_key[0] = 0x04;
    Advert other = offer;
    other.public_key[64] = 0x12;
    const std::string code = LabelCode(offer.public_key);
    const auto decide = [](const std::optional<Advert>& advert, const std::optional<Bytes>& pinned,
                           const std::optional<std::string>& given, bool require) {
        const SealDecision d = DecideSeal(advert, pinned, given, require);
        return std::pair(d.choice, d.pinNow);
    };
    using enum SealChoice;
    // First sight pins; the pinned key again needs no new pin.
    EXPECT_EQ(decide(offer, {}, {}, false), std::pair(Sealed, true));
    EXPECT_EQ(decide(offer, offer.public_key, {}, true), std::pair(Sealed, false));
    // A unit of the protocol alone stays in clear, unless only sealed joins may go.
    EXPECT_EQ(decide({}, {}, {}, false), std::pair(Clear, false));
    EXPECT_EQ(decide({}, {}, {}, true), std::pair(NotSealed, false));
    // A pinned unit without the seal, or with another key, gets nothing.
    EXPECT_EQ(decide({}, offer.public_key, {}, false), std::pair(DowngradeRefused, false));
    EXPECT_EQ(decide(other, offer.public_key, {}, false), std::pair(DowngradeRefused, false));
    // The code read off the label decides alone, in any spelling.
    std::string spelled = code;
    for (char& c : spelled) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::erase(spelled, '-');
    EXPECT_EQ(decide(offer, other.public_key, spelled, false), std::pair(Sealed, true));
    EXPECT_EQ(decide(other, {}, code, false), std::pair(CodeMismatch, false));
    EXPECT_EQ(decide({}, {}, code, false), std::pair(CodeMismatch, false));
    EXPECT_EQ(decide(offer, {}, std::string("-"), false), std::pair(CodeMismatch, false));
}

}  // namespace
}  // namespace melvorin::seal
