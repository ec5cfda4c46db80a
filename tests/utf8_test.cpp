#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string_view>

namespace dungeon {
namespace {

using Kind = Utf8Character::Kind;

Utf8Character Decode(std::string_view bytes) {
    return DecodeUtf8(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                      static_cast<int>(bytes.size()));
}

void Expect(std::string_view bytes, Kind kind, std::uint32_t codePoint, int length) {
    const Utf8Character c = Decode(bytes);
    EXPECT_EQ(c.kind, kind) << testing::PrintToString(bytes);
    EXPECT_EQ(c.codePoint, codePoint) << testing::PrintToString(bytes);
    EXPECT_EQ(c.length, length) << testing::PrintToString(bytes);
}

TEST(Utf8Test, TakesEachLengthUpToItsLimitsAndNoMore) {
    Expect("a!", Kind::kCharacter, 'a', 1);
    Expect("\x7f", Kind::kCharacter, 0x7F, 1);
    Expect("\xc2\x80", Kind::kCharacter, 0x80, 2);
    Expect("\xc3\xa4x", Kind::kCharacter, 0xE4, 2);  // a-umlaut, then the next character
    Expect("\xdf\xbf", Kind::kCharacter, 0x7FF, 2);
    Expect("\xe0\xa0\x80", Kind::kCharacter, 0x800, 3);
    Expect("\xe2\x94\x80", Kind::kCharacter, 0x2500, 3);
    Expect("\xef\xbf\xbf", Kind::kCharacter, 0xFFFF, 3);
    Expect("\xf0\x90\x80\x80", Kind::kCharacter, 0x10000, 4);
    Expect("\xf4\x8f\xbf\xbf", Kind::kCharacter, 0x10FFFF, 4);
}

TEST(Utf8Test, RefusesWhatNoCharacterIsAndWaitsForWhatIsCutShort) {
    // Overlong forms, surrogates, beyond U+10FFFF: the whole form is skipped.
    Expect("\xc0\xaf", Kind::kInvalid, 0, 1);  // C0 and C1 lead nothing
    Expect("\xe0\x80\xaf", Kind::kInvalid, 0, 3);
    Expect("\xf0\x8f\xbf\xbf", Kind::kInvalid, 0, 4);
    Expect("\xed\xa0\x80", Kind::kInvalid, 0, 3);
    Expect("\xed\xbf\xbf", Kind::kInvalid, 0, 3);
    Expect("\xf4\x90\x80\x80", Kind::kInvalid, 0, 4);
    Expect("\xf5\x80\x80\x80", Kind::kInvalid, 0, 1);
    Expect("\xff", Kind::kInvalid, 0, 1);
    Expect("\x80", Kind::kInvalid, 0, 1);  // a continuation byte alone
    // A byte that breaks a character off is left for the next one.
    Expect(
        "\xc3"
        "a",
        Kind::kInvalid, 0, 1);
    Expect("\xe2\x94\x1b", Kind::kInvalid, 0, 1);
    // The bytes end inside a character.
    Expect("\xc3", Kind::kIncomplete, 0, 1);
    Expect("\xe2\x94", Kind::kIncomplete, 0, 2);
    Expect("\xf0\x90\x80", Kind::kIncomplete, 0, 3);
}

}  // namespace
}  // namespace dungeon
