// The output adjustment without its window, over the in-process simulated
// unit on a fake clock: the bounds and the typed values, the test outputs the
// unit drives, and the panel's sequence around the dialog.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "adjust/AdjustSession.h"
#include "adjust/AdjustText.h"
#include "adjust/OutputAdjustment.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"

namespace velmora::test {
namespace {

class AdjustTest : public ::testing::Test {
protected:
    AdjustTest()
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        channel = serial.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        doc.SetChannelCount(2);
        panel = PanelSession::Create(doc, *link, prompter);
    }

    // A session over channel entries with these range codes and corrections.
    AdjustSession Session(std::vector<AdjustChannel> channels) { return AdjustSession(*link, std::move(channels)); }
    static AdjustChannel Entry(int rangeCode, std::int16_t minC = 0, std::int16_t maxC = 0, int select = 0)
    {
        AdjustChannel c;
        c.rangeCode = rangeCode;
        c.minCorrection = c.savedMin = minC;
        c.maxCorrection = c.savedMax = maxC;
        c.select = c.savedSelect = select;
        return c;
    }
    // The test-output frames ("CTU") written from `from` on.
    std::vector<std::string> TestFrames(std::size_t from) const
    {
        std::vector<std::string> out;
        for (std::size_t i = from; i < channel->Writes().size(); ++i)
            if (channel->Writes()[i].bytes.starts_with("\x02"
                                                       "CTU"))
                out.push_back(channel->Writes()[i].bytes.substr(0, 23));
        return out;
    }
    std::size_t Written() const { return channel->Writes().size(); }
    int Count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& w : channel->Writes())
            n += w.bytes.starts_with(prefix) ? 1 : 0;
        return n;
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    sim::SimChannel* channel = nullptr;
    std::unique_ptr<GeneratorLink> link;
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    std::shared_ptr<PanelSession> panel;
};

TEST_F(AdjustTest, StepsStopAtTheBoundsOfTheRangeAndDriveTheUnit)
{
    // Channel 1 on 0-10 V, channel 2 on 4-20 mA (internal supply); the
    // maximum correction of channel 2 comes from the unit far out of bounds.
    AdjustSession s = Session({Entry(1, 1, 199), Entry(5, 0, -32768)});
    ASSERT_TRUE(link->Connect());

    // Nothing moves while the side's test output is off.
    EXPECT_FALSE(s.Step(AdjustSide::Min, -1));
    EXPECT_TRUE(TestFrames(0).empty());

    s.SetTestOutput(AdjustSide::Min, true);
    EXPECT_EQ(unit.TestOutputText(0), "1 lower 0_10V min=1 max=199");
    EXPECT_FALSE(s.SideEnabled(AdjustSide::Max));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(s.Step(AdjustSide::Min, -1));
    EXPECT_EQ(s.Current().minCorrection, 0);
    EXPECT_EQ(unit.TestOutputText(0), "1 lower 0_10V min=0 max=199");

    s.SetTestOutput(AdjustSide::Max, true);
    EXPECT_EQ(unit.TestOutputText(0), "1 upper 0_10V min=0 max=199");
    for (int i = 0; i < 3; ++i)
        s.Step(AdjustSide::Max, +1);
    EXPECT_EQ(s.Current().maxCorrection, 200);

    ASSERT_TRUE(s.SelectChannel(1));
    s.SetTestOutput(AdjustSide::Min, true);
    for (int i = 0; i < 205; ++i)
        s.Step(AdjustSide::Min, -1);
    EXPECT_EQ(s.Current().minCorrection, -200);
    s.SetTestOutput(AdjustSide::Max, true);
    s.Step(AdjustSide::Max, -1);
    EXPECT_EQ(s.Current().maxCorrection, -200);
    EXPECT_EQ(unit.TestOutputText(1), "2 upper 4_20mA min=-200 max=-200");
    // Offset binary on the wire: -200 + 0x8000.
    EXPECT_EQ(unit.Channel(1).test.maxCorrection, 0x7F38);

    // Each button moves toward its own bound only: a value the unit sent
    // from beyond the other one comes back step by step.
    AdjustSession far = Session({Entry(1, -5, 250)});
    far.SetTestOutput(AdjustSide::Min, true);
    far.Step(AdjustSide::Min, +1);
    EXPECT_EQ(far.Current().minCorrection, -4);
    far.Step(AdjustSide::Min, -1);
    EXPECT_EQ(far.Current().minCorrection, 0);
    far.SetTestOutput(AdjustSide::Max, true);
    far.Step(AdjustSide::Max, -1);
    EXPECT_EQ(far.Current().maxCorrection, 249);
    far.Step(AdjustSide::Max, +1);
    EXPECT_EQ(far.Current().maxCorrection, 200);

    EXPECT_EQ(MinCorrectionFloor(12), 0);
    EXPECT_EQ(MinCorrectionFloor(10), -200);
    EXPECT_EQ(MinCorrectionFloor(4), -200);
}

TEST_F(AdjustTest, TypedValuesAreHeldTruncatedOrUndone)
{
    AdjustSession s = Session({Entry(1, 5, 5)});
    ASSERT_TRUE(link->Connect());
    EXPECT_EQ(s.Type(AdjustSide::Max, "7"), AdjustSession::TypeResult::Ignored);

    s.SetTestOutput(AdjustSide::Max, true);
    EXPECT_EQ(s.Type(AdjustSide::Max, "250"), AdjustSession::TypeResult::Stored);
    EXPECT_EQ(s.Current().maxCorrection, 200);
    EXPECT_EQ(s.Type(AdjustSide::Max, "-12.7"), AdjustSession::TypeResult::Stored);
    EXPECT_EQ(s.Current().maxCorrection, -12);
    EXPECT_EQ(unit.TestOutputText(0), "1 upper 0_10V min=5 max=-12");

    const std::size_t before = Written();
    for (const char* junk : {"12x", "nan", "  ", "--3", "1,5"})
        EXPECT_EQ(s.Type(AdjustSide::Max, junk), AdjustSession::TypeResult::Undone) << junk;
    EXPECT_EQ(s.Current().maxCorrection, -12);
    EXPECT_EQ(Written(), before);

    // The strtod forms, and the lower bound of a 0-10 V minimum.
    s.SetTestOutput(AdjustSide::Min, true);
    const struct {
        const char* text;
        int want;
    } typed[] = {{" 0x10", 16}, {"1e9", 200}, {"-inf", 0}, {"-250", 0}, {"", 0}, {"+3.99", 3}, {"-0.5", 0}};
    for (const auto& t : typed) {
        EXPECT_EQ(s.Type(AdjustSide::Min, t.text), AdjustSession::TypeResult::Stored) << t.text;
        EXPECT_EQ(s.Current().minCorrection, t.want) << t.text;
    }
    EXPECT_EQ(TypedCorrection("-200.9", -200, 200), -200);
}

TEST_F(AdjustTest, ChangingTheChannelSwitchesEveryTestOutputOff)
{
    AdjustSession s = Session({Entry(5, -3, 4), Entry(1, 2, 1)});
    ASSERT_TRUE(link->Connect());
    s.SetTestOutput(AdjustSide::Max, true);
    EXPECT_EQ(unit.TestOutputText(0), "1 upper 4_20mA min=-3 max=4");

    const std::size_t from = Written();
    EXPECT_FALSE(s.SelectChannel(0)); // not a change
    EXPECT_EQ(Written(), from);
    ASSERT_TRUE(s.SelectChannel(1));
    EXPECT_EQ(s.TestPoint(), kTestOff);
    EXPECT_FALSE(s.SideEnabled(AdjustSide::Min));
    EXPECT_FALSE(s.SideEnabled(AdjustSide::Max));
    // Each channel with its own range and corrections, test point 0.
    EXPECT_EQ(TestFrames(from),
              (std::vector<std::string>{"\x02"
                                        "CTU105"
                                        "00000000"
                                        "FFFD8004",
                                        "\x02"
                                        "CTU201"
                                        "00000000"
                                        "00028001"}));
    EXPECT_EQ(unit.TestOutputText(0), "1 off");
    EXPECT_EQ(unit.TestOutputText(1), "2 off");
}

TEST_F(AdjustTest, CancelSwitchesOffAndFindsRealChangesOnly)
{
    AdjustSession s = Session({Entry(5, -3, 4, 1), Entry(1)});
    ASSERT_TRUE(link->Connect());
    s.SetTestOutput(AdjustSide::Min, true);
    s.Step(AdjustSide::Min, +1);
    s.Step(AdjustSide::Min, -1);
    EXPECT_FALSE(s.SwitchOffForCancel());
    EXPECT_EQ(unit.TestOutputText(0), "1 off");

    s.SetSelection(2);
    EXPECT_TRUE(s.SwitchOffForCancel());
    s.SetSelection(1);
    EXPECT_FALSE(s.Changed());
    ASSERT_TRUE(s.SelectChannel(1));
    s.SetTestOutput(AdjustSide::Max, true);
    s.Step(AdjustSide::Max, +1);
    EXPECT_TRUE(s.SwitchOffForCancel());
    EXPECT_EQ(s.TestPoint(), kTestOff);
}

// --- the panel's sequence ------------------------------------------------------

TEST_F(AdjustTest, RefusalsComeInOrderAndAFailedReadKeepsTheDialogShut)
{
    int dialogs = 0;
    const auto count = [&](AdjustSession&) { return ++dialogs > 0; };

    doc.m_model.SwitchOutputOn(1);
    EXPECT_EQ(RunOutputAdjustment(*panel, prompter, count).result, AdjustRunResult::OutputOn);
    EXPECT_EQ(prompter.shown.back().text, "ＯＮ状態では設定できません。");
    doc.m_model.SwitchOutputOff(1);
    EXPECT_EQ(RunOutputAdjustment(*panel, prompter, count).result, AdjustRunResult::NotConnected);
    EXPECT_EQ(prompter.shown.back().text, "接続されていません");
    EXPECT_EQ(prompter.shown.back().caption, "確認");
    EXPECT_EQ(prompter.shown.back().icon, PromptIcon::Information);

    ASSERT_EQ(panel->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    // Channel 1 is read; channel 2 goes unanswered.
    unit.SetSilentAfter(1);
    const std::size_t from = Written();
    EXPECT_EQ(RunOutputAdjustment(*panel, prompter, count).result, AdjustRunResult::ReadFailed);
    EXPECT_EQ(prompter.shown.back().text, "通信エラーが発生しました");
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Count("\x02"
                    "CMU"),
              0);
    EXPECT_GT(Written(), from + 4);
    EXPECT_TRUE(panel->Poller().m_bPolling);
    EXPECT_TRUE(panel->TimerWork());
}

TEST_F(AdjustTest, OkTransfersEveryChannelAndStoresOnceWhatTheDialogLeft)
{
    doc.m_model.SetRange(0, 5);
    doc.m_model.SetRange(1, 1);
    unit.Channel(0).user[5] = {0x0006, 0x0003, 0x8002};
    unit.Channel(1).user[1] = {0x0001, 0x0004, 0x7FFF};
    ASSERT_EQ(panel->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);

    std::size_t closed = 0;
    const AdjustRun run = RunOutputAdjustment(*panel, prompter, [&](AdjustSession& s) {
        // Paused while the dialog runs; the values are the unit's.
        EXPECT_FALSE(panel->Poller().m_bPolling);
        EXPECT_FALSE(panel->TimerWork());
        EXPECT_EQ(s.ChannelCount(), 2);
        EXPECT_EQ(s.Channel(0).select, 2);
        EXPECT_EQ(s.Channel(0).minCorrection, 3);
        EXPECT_EQ(s.Channel(0).maxCorrection, 2);
        EXPECT_EQ(s.Channel(1).maxCorrection, -1);
        s.SetTestOutput(AdjustSide::Min, true);
        s.Step(AdjustSide::Min, -1);
        s.SetSelection(1);
        closed = Written();
        return true;
    });
    // OK left the test output on: it goes off before the transfers.
    ASSERT_GT(Written(), closed);
    EXPECT_EQ(channel->Writes()[closed].bytes.substr(0, 15),
              "\x02"
              "CTU105"
              "00000000");
    EXPECT_EQ(run.result, AdjustRunResult::Saved);
    EXPECT_TRUE(run.unitAnswered);
    EXPECT_TRUE(panel->Poller().m_bPolling);
    EXPECT_TRUE(panel->TimerWork());

    // The other bits of the select word are kept.
    EXPECT_EQ(doc.m_model.channels[0].userAdjustment[5].adjustSelect, 0x0005);
    EXPECT_EQ(doc.m_model.channels[0].userAdjustment[5].minCorrection, 0x0002);
    EXPECT_EQ(Count("\x02"
                    "CMU"),
              2);
    EXPECT_EQ(Count("\x02"
                    "CWU"),
              1);
    EXPECT_EQ(unit.TablesText(0, true).find("1 4_20mA maker=0,0 user=2,2 select=1") != std::string::npos, true)
        << unit.TablesText(0, true);
    EXPECT_EQ(unit.Stored('U').user[1][1].maxCorrection, 0x7FFF);
    EXPECT_EQ(unit.TestOutputText(0), "1 off");
}

TEST_F(AdjustTest, CancelLeavesTheUnitAsItWasAndAMissedTransferIsSaid)
{
    unit.Channel(0).user[0] = {0x0002, 0x0009, 0x8009};
    ASSERT_EQ(panel->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    const std::string before = unit.TablesText(0, false) + unit.TablesText(1, false);

    const AdjustRun cancelled = RunOutputAdjustment(*panel, prompter, [&](AdjustSession& s) {
        s.SetSelection(0);
        s.SetTestOutput(AdjustSide::Max, true);
        s.Type(AdjustSide::Max, "-50");
        s.SwitchOffForCancel();
        return false;
    });
    EXPECT_EQ(cancelled.result, AdjustRunResult::Restored);
    EXPECT_EQ(unit.TablesText(0, false) + unit.TablesText(1, false), before);
    EXPECT_EQ(Count("\x02"
                    "CWU"),
              0);
    EXPECT_EQ(doc.m_model.channels[0].userAdjustment[0].adjustSelect, 0x0002);

    // The unit goes quiet while the dialog is open: OK cannot reach it.
    const std::size_t shown = prompter.shown.size();
    const AdjustRun lost = RunOutputAdjustment(*panel, prompter, [&](AdjustSession&) {
        unit.Faults().silent = true;
        return true;
    });
    EXPECT_EQ(lost.result, AdjustRunResult::Saved);
    EXPECT_FALSE(lost.unitAnswered);
    ASSERT_EQ(prompter.shown.size(), shown + 1);
    EXPECT_EQ(prompter.shown.back().text, "通信エラーが発生しました");
}

TEST_F(AdjustTest, NotOpenedWhileAConnectIsStillFindingTheUnit)
{
    // The connect sequence lets the front end's events run with the port
    // open, before it knows the unit; a menu command may come then.
    struct Meddler final : PanelSessionObserver {
        PanelSession& panel;
        Prompter& prompter;
        std::vector<AdjustRunResult> results;
        Meddler(PanelSession& p, Prompter& q) : panel(p), prompter(q) { }
        bool LetEventsRun() override
        {
            results.push_back(RunOutputAdjustment(panel, prompter, [](AdjustSession&) { return true; }).result);
            return true;
        }
    } meddler(*panel, prompter);
    panel->SetObserver(&meddler);
    ASSERT_EQ(panel->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    ASSERT_FALSE(meddler.results.empty());
    for (AdjustRunResult r : meddler.results)
        EXPECT_EQ(r, AdjustRunResult::NotConnected);
    EXPECT_EQ(Count("\x02"
                    "CRU"),
              0);
    panel->SetObserver(nullptr);
}

// --- the text form of the tables -------------------------------------------

TEST(AdjustText, LinesReadBackWhatTheyPrintAndSayWhatIsWrong)
{
    const std::string line = FormatAdjustLine(0, 5, {0x0003, 0x8005}, {0x0002, 0xFFFE, 0x7FFE});
    EXPECT_EQ(line, "1 4_20mA maker=3,5 user=-2,-2 select=2");
    std::string error;
    const auto back = ParseAdjustLine(line, error);
    ASSERT_TRUE(back.has_value()) << error;
    EXPECT_EQ(back->channel, 0);
    EXPECT_EQ(back->rangeCode, 5);
    EXPECT_EQ(back->maker->maxCorrection, 0x8005);
    EXPECT_EQ(back->user->minCorrection, 0xFFFE);
    EXPECT_EQ(back->select, 2);

    const auto partial = ParseAdjustLine("4 12 user=-32768,32767", error);
    ASSERT_TRUE(partial.has_value()) << error;
    EXPECT_FALSE(partial->maker.has_value());
    EXPECT_EQ(partial->user->minCorrection, 0x8000);
    EXPECT_EQ(partial->user->maxCorrection, 0xFFFF);

    const auto commented = ParseAdjustLine("2 0_10V select=1 # kept as shipped", error);
    ASSERT_TRUE(commented.has_value()) << error;
    EXPECT_EQ(commented->select, 1);

    for (const char* bad :
         {"", "5 4_20mA", "1 4", "1 4_20mA maker=3", "1 4_20mA user=1,40000", "1 0_5V select=4", "1 0_5V zero=1"}) {
        error.clear();
        EXPECT_FALSE(ParseAdjustLine(bad, error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

} // namespace
} // namespace velmora::test
