// Server text made safe for the eye: hidden and direction-changing
// characters spelt out, look-alike words found; nothing else changes.

#include "model/ShownText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShownText, EveryHiddenCharacterIsSpeltOutAndNothingElseChanges) {
    const struct {
        const char* input;
        const char* shown;
    } cases[] = {
        {"cn=Alice", "cn=Alice"},
        {"", ""},
        {"cn=M\xC3\xBCller \xE2\x82\xAC", "cn=M\xC3\xBCller \xE2\x82\xAC"},
        // Right-to-left override: "evil" would read "live".
        {"cn=\xE2\x80\xAE"
         "live",
         "cn=\xE2\x9F\xA8U+202E\xE2\x9F\xA9live"},
        {"cn=Al\xE2\x80\x8D"
         "ice",
         "cn=Al\xE2\x9F\xA8U+200D\xE2\x9F\xA9ice"},
        {"cn=Al\xE2\x80\x8Bice", "cn=Al\xE2\x9F\xA8U+200B\xE2\x9F\xA9ice"},
        {"\xEF\xBB\xBF"
         "x",
         "\xE2\x9F\xA8U+FEFF\xE2\x9F\xA9x"},
        // Bytes that are not UTF-8 stay as they are, around a mark.
        {"\xFF\xE2\x80\x8E\xC3", "\xFF\xE2\x9F\xA8U+200E\xE2\x9F\xA9\xC3"},
        // The neighbours of the ranges are ordinary characters.
        {"\xE2\x80\x8A\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA1\xE2\x81\xA5\xE2\x81\xAA",
         "\xE2\x80\x8A\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA1\xE2\x81\xA5\xE2\x81\xAA"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeHiddenVisible(c.input), c.shown) << c.input;

    const char32_t hidden[] = {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068,
                               0x2069, 0x200E, 0x200F, 0x200B, 0x200C, 0x200D, 0x2060, 0xFEFF};
    for (char32_t c : hidden) {
        EXPECT_TRUE(IsHiddenCodePoint(c)) << static_cast<unsigned>(c);
        EXPECT_EQ(MakeHiddenVisible(HiddenCodePointMark(c)), HiddenCodePointMark(c));
    }
    EXPECT_EQ(HiddenCodePointMark(0x2066), "\xE2\x9F\xA8U+2066\xE2\x9F\xA9");
    EXPECT_FALSE(IsHiddenCodePoint(0x200A));
    EXPECT_FALSE(IsHiddenCodePoint(0x2029));
    EXPECT_FALSE(IsHiddenCodePoint(0x05D0)); // Hebrew letters are shown as written
}

TEST(ShownText, AWordMixingLatinWithCyrillicOrGreekIsFoundAndNamed) {
    const struct {
        const char* input;
        const char* word;
        const char* warning;
    } cases[] = {
        {"cn=Alice,dc=example", "", ""},
        // A Cyrillic "А" before "lice".
        {"cn=\xD0\x90lice,dc=example", "\xD0\x90lice",
         "Look-alike letters: the word \xE2\x80\x9C\xD0\x90lice\xE2\x80\x9D mixes Latin with Cyrillic "
         "letters."},
        // A Greek omicron in "example".
        {"cn=Bob,dc=ex\xCE\xBFmple", "ex\xCE\xBFmple",
         "Look-alike letters: the word \xE2\x80\x9C"
         "ex\xCE\xBFmple\xE2\x80\x9D mixes Latin with Greek letters."},
        // Whole words of either script beside each other are fine.
        {"cn=\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD Ivan", "", ""},
        {"cn=\xCE\xB1\xCE\xB2,o=ab", "", ""},
        // A hidden character inside the word neither splits nor hides it.
        {"cn=A\xE2\x80\x8B\xD0\xB0", "A\xE2\x80\x8B\xD0\xB0",
         "Look-alike letters: the word \xE2\x80\x9C"
         "A\xE2\x9F\xA8U+200B\xE2\x9F\xA9\xD0\xB0\xE2\x80\x9D mixes Latin with "
         "Cyrillic letters."},
        {"M\xC3\xBCller", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindMixedScriptWord(c.input), c.word) << c.input;
        EXPECT_EQ(MixedScriptWarning(c.input), c.warning) << c.input;
    }
}

} // namespace
