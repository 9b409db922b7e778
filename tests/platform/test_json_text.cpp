#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/JsonText.h"

using velmora::JsonNumber;
using velmora::JsonObject;
using velmora::JsonString;

// Every string a reader could choke on comes out as valid JSON: quotes,
// control characters and bytes that are not UTF-8, while Japanese passes
// unchanged.
TEST(JsonText, StringsAreAlwaysValidJson)
{
    EXPECT_EQ(JsonString("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(JsonString("\n\r\t\x01\x7f"), R"("\n\r\t\u0001\u007f")");
    EXPECT_EQ(JsonString("発生器"), "\"発生器\"");
    // A lone continuation byte, a cut sequence, an overlong slash, a surrogate.
    EXPECT_EQ(JsonString("\x80"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("a\xE3\x81"), "\"a\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80").substr(0, 4), "\"\xEF\xBF\xBD");
    EXPECT_EQ(JsonString(std::string("a\0b", 3)), R"("a\u0000b")");
}

TEST(JsonText, NumbersRoundTripAndNonFiniteIsNull)
{
    EXPECT_EQ(JsonNumber(12.0), "12");
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(-4.0625), "-4.0625");
    EXPECT_EQ(JsonNumber(std::nan("")), "null");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::infinity()), "null");

    JsonObject o;
    o.Add("channel", 2).Add("value", 12.5).Add("on", true).Add("range", "4_20mA").AddNull("eng");
    o.AddRaw("words", "[1, 2]").Add("seq", std::uint64_t{18446744073709551615ULL});
    EXPECT_EQ(o.Text(),
              R"({"channel": 2, "value": 12.5, "on": true, "range": "4_20mA", "eng": null, )"
              R"("words": [1, 2], "seq": 18446744073709551615})");
    EXPECT_EQ(JsonObject().Text(), "{}");
}
