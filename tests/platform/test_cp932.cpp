#include <gtest/gtest.h>

#include "platform/Cp932.h"

using namespace velmora;

namespace {

// "ファイル形式が違います。" as CP932 bytes.
const std::string kFormatMessageCp932 = "\x83\x74\x83\x40\x83\x43\x83\x8B\x8C\x60\x8E\xAE\x82\xAA\x88\xE1\x82\xA2"
                                        "\x82\xDC\x82\xB7\x81\x42";

} // namespace

TEST(Cp932, JapaneseTextConvertsBothWays)
{
    const std::string utf8 = "ファイル形式が違います。";
    const TextConversion down = Utf8ToCp932Checked(utf8);
    EXPECT_TRUE(down.exact);
    EXPECT_EQ(down.text, kFormatMessageCp932);

    const TextConversion up = Cp932ToUtf8Checked(kFormatMessageCp932);
    EXPECT_TRUE(up.exact);
    EXPECT_EQ(up.text, utf8);
}

TEST(Cp932, AsciiAndHalfWidthKanaKeepTheirSingleBytes)
{
    // The backslash and the tilde stay ASCII in Microsoft's table (a plain
    // Shift-JIS table would turn them into yen and overline).
    EXPECT_EQ(Utf8ToCp932("COM3 \\ ~"), "COM3 \\ ~");
    EXPECT_EQ(Cp932ToUtf8("COM3 \\ ~"), "COM3 \\ ~");
    EXPECT_EQ(Utf8ToCp932("ﾌｧｲﾙ"), "\xCC\xA7\xB2\xD9");
    EXPECT_EQ(Cp932ToUtf8("\xCC\xA7\xB2\xD9"), "ﾌｧｲﾙ");
}

TEST(Cp932, RangeNamesUseTheFullWidthTildeOfTheCodePage)
{
    EXPECT_EQ(Utf8ToCp932("0～5 V"),
              "0\x81\x60"
              "5 V");
    EXPECT_EQ(Cp932ToUtf8("\x93\xE0 4\x81\x60"
                          "20 mA"),
              "内 4～20 mA");
    EXPECT_EQ(Cp932Length("内 4～20 mA"), 11u);
    EXPECT_EQ(Cp932Length("0～5 V"), 6u);
    EXPECT_EQ(Cp932Length(""), 0u);
}

TEST(Cp932, CharactersWithoutACounterpartBecomeOneQuestionMark)
{
    // An emoji (4 UTF-8 bytes) and a Hangul syllable have no CP932 code.
    const TextConversion r = Utf8ToCp932Checked("a\xF0\x9F\x98\x80"
                                                "b\xED\x95\x9C"
                                                "c");
    EXPECT_FALSE(r.exact);
    EXPECT_EQ(r.text, "a?b?c");
    EXPECT_EQ(Cp932Length("a\xF0\x9F\x98\x80"
                          "b"),
              3u);
}

TEST(Cp932, InvalidUtf8IsReplacedBytewiseWithoutLosingTheRest)
{
    // A stray continuation byte, an overlong slash, a truncated sequence at
    // the end.
    EXPECT_EQ(Utf8ToCp932("x\x80y"), "x?y");
    EXPECT_EQ(Utf8ToCp932("\xC0\xAFz"), "??z");
    EXPECT_EQ(Utf8ToCp932("ok\xE3\x81"), "ok?");
    EXPECT_FALSE(Utf8ToCp932Checked("\xFF").exact);
}

TEST(Cp932, InvalidCp932IsReplacedAndTheFollowingTextSurvives)
{
    // 0x80 and 0xA0 are not characters; a lead byte at the very end has no
    // trail; a lead byte followed by a control byte keeps the control byte.
    const TextConversion r = Cp932ToUtf8Checked("A\x80"
                                                "B");
    EXPECT_FALSE(r.exact);
    EXPECT_EQ(r.text,
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(Cp932ToUtf8("C\x82"), "C\xEF\xBF\xBD");
    EXPECT_EQ(Cp932ToUtf8("\x82\n"), "\xEF\xBF\xBD\n");
}

TEST(Cp932, Utf16TextComesDownToTheCodePage)
{
    // "COM" + "内" (U+5185) little-endian.
    const std::string utf16("C\0O\0M\0\x85\x51", 8);
    EXPECT_EQ(Utf16LeToCp932(utf16), "COM\x93\xE0");
    // An unpaired high surrogate and an odd trailing byte are replaced.
    EXPECT_EQ(Utf16LeToCp932(std::string("A\0\x00\xD8"
                                         "B\0",
                                         6)),
              "A?B");
    EXPECT_EQ(Utf16LeToCp932(std::string("A\0B", 3)), "A?");
    // A paired surrogate (U+1F600) is one character, so one replacement.
    EXPECT_EQ(Utf16LeToCp932(std::string("\x3D\xD8\x00\xDE"
                                         "Z\0",
                                         6)),
              "?Z");
}
