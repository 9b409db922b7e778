// A tag's rules and the arithmetic of a check point, and the tag CSV: what a
// technician types or imports must either be a usable loop or be refused
// with the field (or the row) named, and a file written must read back as
// the same tags.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "loopcheck/LoopTag.h"
#include "loopcheck/LoopTagCsv.h"
#include "platform/Language.h"

namespace velmora::test {
namespace {

// The messages the tests of this folder look into are read in English.
class EnglishMessages final : public ::testing::Environment {
public:
    void SetUp() override { SetLanguage(Language::English); }
};
[[maybe_unused]] ::testing::Environment* const kEnglish = ::testing::AddGlobalTestEnvironment(new EnglishMessages);

LoopTag Flow()
{
    LoopTag t;
    t.name = "FT-101";
    t.channel = 1;
    t.range = "4_20mA";
    t.lrv = 0.0;
    t.urv = 150.0;
    t.unit = "m³/h";
    return t;
}

std::string FieldOf(const LoopTag& t)
{
    const auto p = ValidateTag(t);
    return p ? p->field : std::string();
}

TEST(LoopTag, EachBrokenRuleNamesItsField)
{
    EXPECT_EQ(FieldOf(Flow()), "");
    const struct {
        const char* field;
        void (*breakIt)(LoopTag&);
    } cases[] = {
        {"name", [](LoopTag& t) { t.name.clear(); }},
        {"name", [](LoopTag& t) { t.name = "FT\t101"; }},
        {"name", [](LoopTag& t) { t.name = "FT-\x1b[2J"; }},
        {"name", [](LoopTag& t) { t.name = "FT-\xff"; }},
        {"name", [](LoopTag& t) { t.name = " FT-101"; }},
        {"channel", [](LoopTag& t) { t.channel = 5; }},
        {"range", [](LoopTag& t) { t.range = "4-20mA"; }},
        {"range", [](LoopTag& t) { t.range = "USER"; }},
        {"urv", [](LoopTag& t) { t.urv = t.lrv; }},
        {"lrv", [](LoopTag& t) { t.lrv = NAN; }},
        {"tolerance", [](LoopTag& t) { t.tolerance = 0.0; }},
        {"tolerance", [](LoopTag& t) { t.tolerance = -0.5; }},
        {"adjust_limit", [](LoopTag& t) { t.adjustLimit = 0.5; }}, // equal to the tolerance: not tighter
        {"adjust_limit", [](LoopTag& t) { t.adjustLimit = 0.0; }},
        {"points",
         [](LoopTag& t) {
             t.points = {0, 50, 100.5};
         }},
        {"points", [](LoopTag& t) { t.points = {-1}; }},
        {"points", [](LoopTag& t) { t.points.clear(); }},
        {"settle", [](LoopTag& t) { t.settleSeconds = -1; }},
        {"decimals", [](LoopTag& t) { t.decimals = 7; }},
        {"decimals", [](LoopTag& t) { t.decimals = -1; }},
        {"unit", [](LoopTag& t) { t.unit = "m\n3"; }},
    };
    for (const auto& c : cases) {
        LoopTag t = Flow();
        c.breakIt(t);
        const auto problem = ValidateTag(t);
        ASSERT_TRUE(problem) << c.field;
        EXPECT_EQ(problem->field, c.field) << problem->message;
        EXPECT_FALSE(problem->message.empty());
    }
    // What is allowed: a settle of 0, a reverse-acting span, a description
    // over several lines, points going down again, Japanese text.
    LoopTag t = Flow();
    t.settleSeconds = 0;
    t.lrv = 150;
    t.urv = 0;
    t.description = "流量\n二行目";
    t.points = WithWayDown(LoopTag::DefaultPoints());
    t.adjustLimit = 0.25;
    EXPECT_FALSE(ValidateTag(t));
    EXPECT_EQ(PointListText(t.points), "0,25,50,75,100,75,50,25,0");
}

TEST(LoopTag, SignalExpectedReadingErrorAndVerdict)
{
    // 4 + 0.16 p mA on 4-20 mA; the 0-10 V and the bipolar ranges by their span.
    EXPECT_DOUBLE_EQ(*SignalForPercent("4_20mA", 25), 8.0);
    EXPECT_DOUBLE_EQ(*SignalForPercent("4_20mA", 100), 20.0);
    EXPECT_DOUBLE_EQ(*SignalForPercent("-10_10V", 50), 0.0);
    EXPECT_DOUBLE_EQ(*SignalForPercent("1_5V", 75), 4.0);
    EXPECT_FALSE(SignalForPercent("USER", 50));
    EXPECT_EQ(SignalUnit("E4_20mA"), "mA");
    EXPECT_EQ(SignalUnit("0_10V"), "V");

    LoopTag t = Flow();
    EXPECT_DOUBLE_EQ(ExpectedReading(t, 50), 75.0);
    t.transfer = LoopTransfer::SquareRoot;
    // LRV + sqrt(p/100) x span: 25 % of the signal is half the flow.
    EXPECT_DOUBLE_EQ(ExpectedReading(t, 25), 75.0);
    EXPECT_DOUBLE_EQ(ExpectedReading(t, 0), 0.0);
    EXPECT_DOUBLE_EQ(ExpectedReading(t, 100), 150.0);

    // A reverse-acting loop: 150 at 0 %, 0 at 100 %; a reading above the
    // expected value is a positive error in % of the (negative) span's size.
    LoopTag r = Flow();
    r.lrv = 150;
    r.urv = 0;
    EXPECT_DOUBLE_EQ(ExpectedReading(r, 25), 112.5);
    EXPECT_NEAR(std::fabs(ErrorPercentOfSpan(r, 112.5, 113.25)), 0.5, 1e-12);

    // Exactly the tolerance passes, though the arithmetic lands a hair
    // above 0.5; one digit more fails. The adjust band lies between.
    t = Flow();
    t.adjustLimit = 0.25;
    const double atTolerance = ErrorPercentOfSpan(t, 75.0, 75.75);
    EXPECT_EQ(JudgeError(t, atTolerance), PointVerdict::Adjust);
    EXPECT_EQ(JudgeError(t, ErrorPercentOfSpan(t, 75.0, 75.76)), PointVerdict::Fail);
    EXPECT_EQ(JudgeError(t, ErrorPercentOfSpan(t, 75.0, 74.25)), PointVerdict::Adjust);
    EXPECT_EQ(JudgeError(t, ErrorPercentOfSpan(t, 75.0, 75.375)), PointVerdict::Pass);
    EXPECT_EQ(JudgeError(t, NAN), PointVerdict::Fail);
    t.adjustLimit.reset();
    EXPECT_EQ(JudgeError(t, atTolerance), PointVerdict::Pass);

    EXPECT_EQ(FormatErrorPercent(-0.001), "+0.00");
    EXPECT_EQ(FormatErrorPercent(0.4999), "+0.50");
    EXPECT_EQ(FormatReading(t, 75.5), "75.50");
}

TEST(LoopTag, PointListsAreNumbersOnly)
{
    EXPECT_EQ(*ParsePointList("0, 50 ,100"), (std::vector<double>{0, 50, 100}));
    for (const char* bad : {"", "0,,100", "0;50", "50%", "nan", "1e999", "0,50,"})
        EXPECT_FALSE(ParsePointList(bad)) << bad;
}

TEST(LoopTagCsv, RoundTripKeepsEveryField)
{
    LoopTag a = Flow();
    a.description = "Feed, \"main\" line\nsecond line";
    a.location = " Hall 2 ";
    a.transfer = LoopTransfer::SquareRoot;
    a.points = {0, 12.5, 100, 12.5, 0};
    a.tolerance = 0.25;
    a.adjustLimit = 0.1;
    a.settleSeconds = 0;
    a.decimals = 3;
    LoopTag b = Flow();
    b.name = "TT-7";
    b.channel = 4;
    b.range = "-10_10V";
    b.lrv = -50;
    b.urv = 0.1;
    b.unit = "°C";
    const std::string csv = LoopTagsToCsv({a, b});
    EXPECT_TRUE(csv.starts_with("name,description,location,channel,range,lrv,urv,unit,transfer,points,tolerance,"
                                "adjust_limit,settle,decimals\r\n"));
    const auto read = LoopTagsFromCsv(csv);
    ASSERT_TRUE(std::holds_alternative<std::vector<LoopTag>>(read)) << std::get<LoopTagCsvError>(read).message;
    const auto& tags = std::get<std::vector<LoopTag>>(read);
    ASSERT_EQ(tags.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        const LoopTag& want = k == 0 ? a : b;
        const LoopTag& got = tags[k];
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.description, want.description);
        EXPECT_EQ(got.location, want.location);
        EXPECT_EQ(got.channel, want.channel);
        EXPECT_EQ(got.range, want.range);
        EXPECT_EQ(got.lrv, want.lrv);
        EXPECT_EQ(got.urv, want.urv);
        EXPECT_EQ(got.unit, want.unit);
        EXPECT_EQ(got.transfer, want.transfer);
        EXPECT_EQ(got.points, want.points);
        EXPECT_EQ(got.tolerance, want.tolerance);
        EXPECT_EQ(got.adjustLimit, want.adjustLimit);
        EXPECT_EQ(got.settleSeconds, want.settleSeconds);
        EXPECT_EQ(got.decimals, want.decimals);
    }
}

TEST(LoopTagCsv, AHandWrittenFileTakesDefaultsAndColumnsInAnyOrder)
{
    const auto read = LoopTagsFromCsv("\xEF\xBB\xBFunit,urv,lrv,range,channel,name\n"
                                      "kPa,250,0,4_20mA,2,PT-3\n"
                                      "\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<LoopTag>>(read)) << std::get<LoopTagCsvError>(read).message;
    const auto& tags = std::get<std::vector<LoopTag>>(read);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].name, "PT-3");
    EXPECT_EQ(tags[0].points, LoopTag::DefaultPoints());
    EXPECT_EQ(tags[0].tolerance, 0.5);
    EXPECT_EQ(tags[0].settleSeconds, 5.0);
    EXPECT_FALSE(tags[0].adjustLimit);
}

TEST(LoopTagCsv, ABrokenRowIsNamedAndNothingIsTaken)
{
    const std::string header = "name,channel,range,lrv,urv,unit,points\r\n";
    const std::string good = "FT-1,1,4_20mA,0,100,%,\"0,50,100\"\r\n";
    const struct {
        std::string text;
        int row;
        const char* says;
    } cases[] = {
        {header + good + "FT-2,1,4_20mA,5,5,%,\r\n", 3, "span"},
        {header + good + good, 3, "twice"},
        {header + good + "FT-2,1,4_20mA,0,100,%,\"0,150\"\r\n", 3, "150"},
        {header + "FT-2,1,4_20mA,0,abc,%,\r\n", 2, "abc"},
        {header + "FT-2,1,4_20mA,0,100\r\n", 2, "fields"},
        {header + good + "\"FT-2,1,4_20mA,0,100,%,\r\n", 3, "quoted"},
        {header + "FT\"2,1,4_20mA,0,100,%,\r\n", 2, "quote"},
        {"name,channel,range,lrv,urv\r\n" + good, 1, "unit"},
        {"name,channel,range,lrv,urv,unit,colour\r\n", 1, "colour"},
        {"", 0, "empty"},
    };
    for (const auto& c : cases) {
        const auto read = LoopTagsFromCsv(c.text);
        ASSERT_TRUE(std::holds_alternative<LoopTagCsvError>(read)) << c.text;
        const auto& error = std::get<LoopTagCsvError>(read);
        EXPECT_EQ(error.row, c.row) << error.message;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
    }
}

} // namespace
} // namespace velmora::test
