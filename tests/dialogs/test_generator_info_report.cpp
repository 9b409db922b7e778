#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeChannel.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/GeneratorModel.h"
#include "platform/Cp932.h"
#include "platform/Language.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const std::string kHead = "Version\t01000A\r\n"
                          "回路数\t1\r\n"
                          "\r\n"
                          "アナログ出力調整値\r\n"
                          "\t\tメーカー\t\tユーザー\r\n"
                          "\t\tZERO\tGAIN\tZERO\tGAIN\tMODE\r\n";

// Corrections that the responder below hands out: distinct per channel,
// range and kind, so that a value in the wrong place shows.
std::uint16_t MinFor(int ch, int range, char kind)
{
    return static_cast<std::uint16_t>(-(ch * 100 + range * 2 + (kind == 'M' ? 1 : 0)));
}
std::uint16_t MaxFor(int ch, int range, char kind)
{
    return static_cast<std::uint16_t>(0x8000 + ch * 100 + range * 2 + (kind == 'M' ? 1 : 0));
}

// Answers every adjustment read like a unit that has the values above and
// select word (range % 3).
std::vector<FakeChannel::Chunk> AnswerRead(const std::string& request)
{
    if (request.size() != 12 ||
        request.substr(0, 3) !=
            "\x02"
            "CR")
        return {};
    const char kind = request[3];
    const int ch = request[4] - '1';
    const int range = static_cast<int>(ParseHex(request.substr(5, 2)));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%cCR%c%c%02X%04X%04X%04X%c", kStx, kind, request[4], range,
                  static_cast<unsigned>(range % 3), MinFor(ch, range, kind), MaxFor(ch, range, kind), kEtx);
    std::string reply(buf);
    AppendChecksum(reply);
    return {{reply, 15}};
}

class ReportReadTest : public ::testing::Test {
protected:
    ReportReadTest()
    {
        auto s = std::make_unique<FakeChannel>(clock);
        serial = s.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(s), nullptr);
        model.versionText = "01000A";
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    FakeChannel* serial = nullptr;
    std::unique_ptr<GeneratorLink> link;
    GeneratorModel model;
};

} // namespace

TEST(GeneratorInfoReport, TextOfAOneCircuitUnitByteForByte)
{
    GeneratorModel model;
    model.versionText = "01000A";
    ChannelSettings& c = model.channels[0];
    c.makerCorrection[0] = {0xFFFF, 0x8000};
    c.userAdjustment[0].adjustSelect = 1;
    c.userAdjustment[3].adjustSelect = 3;
    c.makerCorrection[5] = {0x0003, 0x8005};
    c.userAdjustment[5] = {0x0002, 0xFFFE, 0x7FFE};
    c.makerCorrection[12] = {0x8000, 0xFFFF};
    c.userAdjustment[12] = {0x0000, 0x7FFF, 0x0000};
    // Channels beyond the count are not reported.
    model.channels[1].makerCorrection[5] = {0x0001, 0x8001};

    const std::string expected = kHead +
        "チャネル 1\r\n"
        "  0～5 V\t\t-1\t0\t0\t0\tメーカー\r\n"
        "  0～10 V\t\t0\t0\t0\t0\t無効\r\n"
        "  -5～5 V\t\t0\t0\t0\t0\t無効\r\n"
        "  -10～10 V\t0\t0\t0\t0\t不明\r\n"
        "  内 4～20 mA\t3\t5\t-2\t-2\tユーザー\r\n"
        "  内 0～20 mA\t0\t0\t0\t0\t無効\r\n"
        "  内 0～24 mA\t0\t0\t0\t0\t無効\r\n"
        "  1～5 V\t\t0\t0\t0\t0\t無効\r\n"
        "  外 4～20 mA\t0\t0\t0\t0\t無効\r\n"
        "  外 0～24 mA\t-32768\t32767\t32767\t-32768\t無効\r\n";
    const std::string text = BuildGeneratorReport(model);
    EXPECT_EQ(text, expected);

    // Once in the 8-bit code page every character fits and the short names
    // take 6 or 7 bytes, the others 9 or more.
    const TextConversion cp = Utf8ToCp932Checked(text);
    EXPECT_TRUE(cp.exact);
    EXPECT_NE(cp.text.find("  0\x81\x60"
                           "5 V\t\t"),
              std::string::npos);
    EXPECT_NE(cp.text.find("  -10\x81\x60"
                           "10 V\t0"),
              std::string::npos);
}

TEST(GeneratorInfoReport, EveryCircuitGetsItsBlockInOrder)
{
    GeneratorModel model;
    model.channelCount = 4;
    const std::string text = BuildGeneratorReport(model);
    EXPECT_NE(text.find("回路数\t4\r\n"), std::string::npos);
    size_t at = 0;
    for (int ch = 1; ch <= 4; ++ch) {
        const size_t next = text.find("チャネル " + std::to_string(ch) + "\r\n", at);
        ASSERT_NE(next, std::string::npos) << ch;
        at = next + 1;
    }
    // Ten ranges per channel, and never the conversion slot.
    size_t lines = 0;
    for (size_t p = 0; (p = text.find("\r\n  ", p)) != std::string::npos; ++p)
        ++lines;
    EXPECT_EQ(lines, 40u);
    EXPECT_EQ(text.find("換算式"), std::string::npos);
}

// A report a running Velmora built in its language is built again in
// velmoractl's: read back from either language, it gives the same text.
TEST(GeneratorInfoReport, TheTextReadsBackIntoTheModelInEitherLanguage)
{
    struct LanguageScope {
        Language before = CurrentLanguage();
        ~LanguageScope() { SetLanguage(before); }
    } const restore;
    GeneratorModel model;
    model.versionText = "01000A";
    model.channelCount = 2;
    for (int ch = 0; ch < 2; ++ch)
        for (int code = 0; code < kSlotCount; ++code) {
            ChannelSettings& c = model.channels[static_cast<std::size_t>(ch)];
            const auto r = static_cast<std::size_t>(code);
            c.makerCorrection[r] = {MinFor(ch, code, 'M'), MaxFor(ch, code, 'M')};
            c.userAdjustment[r] = {static_cast<std::uint16_t>(code % 4), MinFor(ch, code, 'U'), MaxFor(ch, code, 'U')};
        }
    model.channels[1].makerCorrection[12] = {0x8000, 0xFFFF}; // both ends of the words
    model.channels[1].userAdjustment[12] = {3, 0x7FFF, 0x0000};

    for (const Language built : {Language::Japanese, Language::English}) {
        SetLanguage(built);
        const std::string text = BuildGeneratorReport(model);
        GeneratorModel read;
        ASSERT_TRUE(ReadGeneratorReportText(text, read)) << text;
        EXPECT_EQ(read.channelCount, 2);
        EXPECT_EQ(read.versionText, "01000A");
        for (const Language shown : {Language::Japanese, Language::English}) {
            SetLanguage(shown);
            EXPECT_EQ(BuildGeneratorReport(read), BuildGeneratorReport(model));
        }
    }

    // Anything short of a whole report is no report.
    SetLanguage(Language::Japanese);
    const std::string text = BuildGeneratorReport(model);
    GeneratorModel read;
    const std::size_t lastRow = text.rfind("  ");
    for (const std::string& bad :
         std::vector<std::string>{std::string(), text.substr(0, lastRow), "Version\t1\r\n回路数\t9\r\n\r\n",
                                  text.substr(0, text.size() - 8) + "まちがい\r\n"})
        EXPECT_FALSE(ReadGeneratorReportText(bad, read)) << bad;
}

TEST_F(ReportReadTest, ReadsMakerThenUserForEveryRangeAndReportsWhatItRead)
{
    model.channelCount = 2;
    serial->SetResponder(AnswerRead);
    int phases = 0;
    const GeneratorReportRun run = ReadGeneratorReport(*link, model, [&] { return ++phases > 0; });
    ASSERT_TRUE(run.Ok());
    // The three phases, and once before each range's two reads.
    EXPECT_EQ(phases, 3 + 20);
    ASSERT_EQ(serial->writes.size(), 40u);
    const int codes[] = {0, 1, 2, 3, 5, 6, 7, 10, 11, 12};
    size_t k = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (int code : codes)
            for (char kind : {'M', 'U'}) {
                char want[32];
                std::snprintf(want, sizeof want,
                              "\x02"
                              "CR%c%d%02X",
                              kind, ch + 1, code);
                EXPECT_EQ(serial->writes[k++].bytes.substr(0, 7), want);
            }
    EXPECT_EQ(model.channels[1].makerCorrection[5].minCorrection, MinFor(1, 5, 'M'));
    EXPECT_EQ(model.channels[1].userAdjustment[5].maxCorrection, MaxFor(1, 5, 'U'));
    EXPECT_EQ(run.text, BuildGeneratorReport(model));
    // Channel 2, 4-20 mA: maker -111 / 111, user -110 / 110, select 5 % 3 = 2.
    EXPECT_NE(run.text.find("チャネル 2\r\n  0～5 V\t\t-101\t101\t-100\t100\t無効\r\n"), std::string::npos);
    EXPECT_NE(run.text.find("  内 4～20 mA\t-111\t111\t-110\t110\tユーザー\r\n"), std::string::npos);
}

TEST_F(ReportReadTest, UnitThatStopsAnsweringEndsTheReportAtThatRead)
{
    // Five reads are answered: maker and user of the first two ranges and
    // the maker read of -5-5 V; its user read times out.
    auto answered = std::make_shared<int>(0);
    serial->SetResponder([answered](const std::string& request) {
        return (*answered)++ < 5 ? AnswerRead(request) : std::vector<FakeChannel::Chunk>{};
    });
    int phases = 0;
    const GeneratorReportRun run = ReadGeneratorReport(*link, model, [&] { return ++phases > 0; });
    ASSERT_FALSE(run.Ok());
    EXPECT_FALSE(run.abandoned);
    EXPECT_EQ(run.text, "");
    EXPECT_EQ(phases, 2 + 3);
    EXPECT_EQ(run.failure->outcome, AdjustOutcome::TimedOut);
    EXPECT_EQ(run.failure->channel, 0);
    EXPECT_EQ(run.failure->rangeCode, 2);
    EXPECT_EQ(run.failure->kind, kAdjustUser);
    EXPECT_EQ(serial->writes.size(), 5u + 4u);
    const std::string tail = "  0～10 V\t\t-3\t3\t-2\t2\tメーカー\r\n  -5～5 V\t\t-5\t5\t\r\n";
    ASSERT_GE(run.partial.size(), tail.size());
    EXPECT_EQ(run.partial.substr(run.partial.size() - tail.size()), tail);
    EXPECT_EQ(run.partial.find(kHead), 0u);
}

TEST_F(ReportReadTest, ADialogClosedBetweenReadsEndsTheRunWithoutAnotherRequest)
{
    serial->SetResponder(AnswerRead);
    int phases = 0;
    // Closed while the second range waits for its turn.
    const GeneratorReportRun run = ReadGeneratorReport(*link, model, [&] { return ++phases < 4; });
    EXPECT_FALSE(run.Ok());
    EXPECT_TRUE(run.abandoned);
    EXPECT_FALSE(run.failure.has_value());
    EXPECT_EQ(run.text, "");
    EXPECT_EQ(serial->writes.size(), 2u);
}

TEST_F(ReportReadTest, FailedMakerReadIsNotFollowedByTheUserRead)
{
    const GeneratorReportRun run = ReadGeneratorReport(*link, model);
    ASSERT_FALSE(run.Ok());
    EXPECT_EQ(run.failure->rangeCode, 0);
    EXPECT_EQ(run.failure->kind, kAdjustMaker);
    ASSERT_EQ(serial->writes.size(), 4u);
    for (const auto& w : serial->writes)
        EXPECT_EQ(w.bytes.substr(0, 4),
                  "\x02"
                  "CRM");
    EXPECT_EQ(run.partial, kHead + "チャネル 1\r\n  0～5 V\t\t\r\n");
    EXPECT_STREQ(kReportCommErrorText, "通信エラーが発生しました");
}
