// The loop check run through the panel session against the in-process
// simulated unit on a fake clock: refusals before anything moves, the settle
// countdown, the points, the verdicts and the kinds, the result kept, and
// the channel put back as it was on every way out (the end, an abort, a
// lost unit, the procedure going).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "loopcheck/LoopCheckProcedure.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordWriter.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class LoopCheckProcedureTest : public ::testing::Test {
protected:
    LoopCheckProcedureTest()
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        doc.SetChannelCount(2);
        session = PanelSession::Create(doc, *link, prompter);
        m_dir = fs::temp_directory_path() /
            ("velmora-loopproc-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
    }
    ~LoopCheckProcedureTest() override { fs::remove_all(m_dir); }

    void SetUp() override
    {
        ASSERT_EQ(database.Open((m_dir / "loopcheck.sqlite3").string()), LoopDbOpenResult::Ok);
        ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
        // What the operator had on channel 1 before the technician came:
        // 4-20 mA, 7.5 mA, output off.
        ASSERT_TRUE(session->Operations().SelectRange(0, *RangeCodeFromKey("4_20mA")).Done());
        ASSERT_TRUE(session->Operations().SetSetValue(0, 7.5, LimitPolicy::Refuse).Done());
        Tick(4);
    }

    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            session->OnTick();
            if (procedure)
                procedure->Tick();
        }
    }
    // Ticks until the reading is due; the seconds the countdown showed.
    std::vector<int> SettleOut()
    {
        std::vector<int> shown;
        for (int i = 0; i < 2000 && procedure->GetState() == LoopCheckProcedure::State::Settling; ++i) {
            const int left = procedure->SettleSecondsLeft();
            if (shown.empty() || shown.back() != left)
                shown.push_back(left);
            Tick();
        }
        return shown;
    }
    static LoopTag Tag()
    {
        LoopTag t;
        t.name = "FT-101";
        t.channel = 1;
        t.range = "4_20mA";
        t.urv = 150;
        t.unit = "m³/h";
        t.settleSeconds = 2;
        t.adjustLimit = 0.25;
        return t;
    }
    LoopTestRequest Request(bool asLeft = false)
    {
        LoopTestRequest r;
        r.tag = Tag();
        r.technician = "Aoki";
        r.asLeft = asLeft;
        return r;
    }
    void MakeProcedure() { procedure = std::make_unique<LoopCheckProcedure>(session, clock, database); }
    // The channel as the host and the unit both have it.
    void ExpectChannelAsBefore()
    {
        const ChannelSettings& s = doc.m_model.channels[0];
        EXPECT_EQ(s.rangeCode, *RangeCodeFromKey("4_20mA"));
        EXPECT_DOUBLE_EQ(s.setValue, 7.5);
        EXPECT_FALSE(doc.m_model.IsOutputOn(0));
    }
    void ExpectUnitHasTheHostsWords()
    {
        Tick(4); // the wire's queue out
        EXPECT_EQ(unit.Channel(0).words.dacCode, doc.m_model.channels[0].dacCode);
        EXPECT_EQ(unit.Channel(0).words.controlWord, doc.m_model.channels[0].controlWord);
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    std::unique_ptr<GeneratorLink> link;
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    std::shared_ptr<PanelSession> session;
    fs::path m_dir;
    LoopCheckDatabase database;
    std::unique_ptr<LoopCheckProcedure> procedure;
};

TEST_F(LoopCheckProcedureTest, FivePointsAsFoundThenAsLeftAndTheChannelBack)
{
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    // A technician's readings: one out of tolerance at 75 %.
    const double readings[] = {0.2, 37.9, 75.3, 113.9, 149.9};
    const double signals[] = {4, 8, 12, 16, 20};
    for (int k = 0; k < 5; ++k) {
        ASSERT_EQ(procedure->GetState(), LoopCheckProcedure::State::Settling) << k;
        EXPECT_DOUBLE_EQ(procedure->PointSignal(), signals[k]);
        // The unit puts the point out, switched on, before the reading.
        Tick(2);
        EXPECT_TRUE(doc.m_model.IsOutputOn(0));
        EXPECT_DOUBLE_EQ(doc.m_model.channels[0].setValue, signals[k]);
        EXPECT_EQ(unit.Channel(0).words.dacCode, doc.m_model.channels[0].dacCode);
        // Too early: the settle time still runs.
        EXPECT_EQ(procedure->TakeReading(readings[k]), ReadingRefusal::NotAwaiting);
        const std::vector<int> countdown = SettleOut();
        if (k == 0) {
            EXPECT_EQ(countdown, (std::vector<int>{2, 1}));
        }
        ASSERT_EQ(procedure->GetState(), LoopCheckProcedure::State::AwaitingReading);
        EXPECT_EQ(procedure->TakeReading(NAN), ReadingRefusal::NotANumber);
        EXPECT_EQ(procedure->TakeReading(readings[k]), ReadingRefusal::None);
    }
    ASSERT_EQ(procedure->GetState(), LoopCheckProcedure::State::Done);
    ExpectChannelAsBefore();
    ExpectUnitHasTheHostsWords();

    const LoopResult found = procedure->Result();
    EXPECT_TRUE(procedure->Stored()) << procedure->StoreError();
    EXPECT_EQ(found.kind, LoopTestKind::AsFound);
    EXPECT_EQ(found.verdict, TestVerdict::Fail);
    EXPECT_EQ(found.ending, LoopTestEnding::Completed);
    EXPECT_EQ(found.unitVersion, doc.m_model.versionText); // as the connect took it and the run record keeps it
    EXPECT_FALSE(found.unitVersion.empty());
    ASSERT_EQ(found.points.size(), 5u);
    EXPECT_EQ(found.points[0].verdict, PointVerdict::Pass);   // +0.13 %
    EXPECT_EQ(found.points[1].verdict, PointVerdict::Adjust); // +0.27 %
    EXPECT_EQ(found.points[3].verdict, PointVerdict::Fail);   // +0.93 %
    EXPECT_DOUBLE_EQ(found.points[3].expected, 112.5);
    EXPECT_NEAR(found.points[3].errorPercent, 0.9333333, 1e-6);
    EXPECT_EQ(found.points[2].output, 12.0);
    EXPECT_EQ(found.points[2].signalUnit, "mA");
    EXPECT_GT(found.points[4].code, found.points[0].code);
    EXPECT_LE(found.startUs, found.endUs);

    // Adjusted, as left: every point within the adjust limit.
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request(true)).Started());
    for (double r : {0.1, 37.5, 75.0, 112.4, 150.0}) {
        SettleOut();
        ASSERT_EQ(procedure->TakeReading(r), ReadingRefusal::None);
    }
    EXPECT_EQ(procedure->Result().kind, LoopTestKind::AsLeft);
    EXPECT_EQ(procedure->Result().verdict, TestVerdict::Pass);
    EXPECT_EQ(procedure->Result().previousHash, found.hash);
    EXPECT_TRUE(database.Verify().ok);
    EXPECT_EQ(database.History("FT-101").size(), 2u);
}

TEST_F(LoopCheckProcedureTest, APassingAsFoundIsAsFoundAndLeftAndASettleOfZeroWaitsForNothing)
{
    MakeProcedure();
    LoopTestRequest r = Request();
    r.tag.settleSeconds = 0;
    r.tag.points = WithWayDown({0, 50, 100});
    r.tag.transfer = LoopTransfer::SquareRoot;
    ASSERT_TRUE(r.tag.points.size() == 5);
    ASSERT_TRUE(procedure->Start(r).Started());
    for (double p : r.tag.points) {
        ASSERT_EQ(procedure->GetState(), LoopCheckProcedure::State::AwaitingReading);
        ASSERT_EQ(procedure->TakeReading(ExpectedReading(r.tag, p)), ReadingRefusal::None);
    }
    EXPECT_EQ(procedure->Result().kind, LoopTestKind::AsFoundAndLeft);
    EXPECT_EQ(procedure->Result().verdict, TestVerdict::Pass);
    EXPECT_NEAR(procedure->Result().points[1].expected, 150 * std::sqrt(0.5), 1e-9);
    ExpectChannelAsBefore();
}

TEST_F(LoopCheckProcedureTest, RefusalsComeBeforeAnythingMoves)
{
    MakeProcedure();
    const std::size_t frames = unit.Channel(0).settingsWrites;
    LoopTestRequest r = Request();
    r.tag.range = "0_10V";
    LoopStart s = procedure->Start(r);
    EXPECT_EQ(s.refusal, LoopStartRefusal::WrongRange);
    EXPECT_NE(s.message.find("4_20mA"), std::string::npos) << s.message;
    EXPECT_NE(s.message.find("0_10V"), std::string::npos) << s.message;

    r = Request();
    r.tag.channel = 3; // the unit has two
    EXPECT_EQ(procedure->Start(r).refusal, LoopStartRefusal::NoSuchChannel);
    r = Request();
    r.technician = "";
    EXPECT_EQ(procedure->Start(r).refusal, LoopStartRefusal::NoTechnician);
    r = Request();
    r.tag.tolerance = 0;
    EXPECT_EQ(procedure->Start(r).refusal, LoopStartRefusal::InvalidTag);

    doc.m_autoOutput[0].runState = kAutoRunning;
    EXPECT_EQ(procedure->Start(Request()).refusal, LoopStartRefusal::AutoOutputRunning);
    doc.m_autoOutput[0].runState = kAutoStopped;

    session->Disconnect();
    EXPECT_EQ(procedure->Start(Request()).refusal, LoopStartRefusal::NotConnected);
    EXPECT_EQ(procedure->GetState(), LoopCheckProcedure::State::Idle);
    // Nothing went to the unit but the disconnect's outputs off.
    EXPECT_LE(unit.Channel(0).settingsWrites, static_cast<int>(frames) + 1);
    EXPECT_TRUE(database.History("FT-101").empty());
}

// The window's test and a remote client's share the session: a second test
// on a channel under test is refused before anything moves, on another
// channel it runs, and once the first ends the channel is free again.
TEST_F(LoopCheckProcedureTest, OneTestAChannelWhicheverProcedureRunsIt)
{
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    SettleOut();
    const double point = doc.m_model.channels[0].setValue;
    LoopCheckProcedure other(session, clock, database);
    const LoopStart refused = other.Start(Request());
    EXPECT_EQ(refused.refusal, LoopStartRefusal::Busy);
    EXPECT_NE(refused.message.find(Tr(LoopStartRefusalText(LoopStartRefusal::Busy))), std::string::npos);
    Tick(4);
    EXPECT_DOUBLE_EQ(doc.m_model.channels[0].setValue, point);
    EXPECT_EQ(procedure->GetState(), LoopCheckProcedure::State::AwaitingReading);

    // Channel 2 is free.
    ASSERT_TRUE(session->Operations().SelectRange(1, *RangeCodeFromKey("4_20mA")).Done());
    LoopTestRequest second = Request();
    second.tag.name = "FT-102";
    second.tag.channel = 2;
    ASSERT_TRUE(other.Start(second).Started());
    other.Abort();
    EXPECT_EQ(procedure->GetState(), LoopCheckProcedure::State::AwaitingReading);

    procedure->Abort();
    ExpectChannelAsBefore();
    EXPECT_TRUE(other.Start(Request()).Started());
    other.Abort();
    ExpectChannelAsBefore();
}

TEST_F(LoopCheckProcedureTest, AbortAndDestructionPutTheChannelBack)
{
    // The channel on, under the conversion formula: both come back.
    ASSERT_TRUE(session->Operations().SetConversion(0, 0, 100, 1).Done());
    ASSERT_TRUE(session->Operations().SetConversionMode(0, true).Done());
    ASSERT_TRUE(session->Operations().SetSetValue(0, 40.0, LimitPolicy::Refuse).Done());
    ASSERT_TRUE(session->Operations().SetOutput(0, true).Done());
    Tick(4);
    const std::uint16_t code = doc.m_model.channels[0].dacCode;

    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    SettleOut();
    ASSERT_EQ(procedure->TakeReading(0.0), ReadingRefusal::None);
    Tick(2);
    EXPECT_FALSE(doc.m_model.channels[0].useConversion);
    EXPECT_DOUBLE_EQ(doc.m_model.channels[0].setValue, 8.0);
    procedure->Abort("the receiver's card was pulled");
    EXPECT_EQ(procedure->GetState(), LoopCheckProcedure::State::Aborted);
    EXPECT_TRUE(doc.m_model.channels[0].useConversion);
    EXPECT_DOUBLE_EQ(doc.m_model.channels[0].setValue, 40.0);
    EXPECT_EQ(doc.m_model.channels[0].dacCode, code);
    EXPECT_TRUE(doc.m_model.IsOutputOn(0));
    ExpectUnitHasTheHostsWords();
    const LoopResult& aborted = procedure->Result();
    EXPECT_EQ(aborted.verdict, TestVerdict::Aborted);
    EXPECT_EQ(aborted.endingDetail, "the receiver's card was pulled");
    EXPECT_EQ(aborted.points.size(), 1u);
    EXPECT_TRUE(procedure->Stored());

    // A window closed in the middle of a test: the procedure goes.
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    Tick(3);
    procedure.reset();
    EXPECT_DOUBLE_EQ(doc.m_model.channels[0].setValue, 40.0);
    EXPECT_TRUE(doc.m_model.IsOutputOn(0));
    ExpectUnitHasTheHostsWords();
    const auto history = database.History("FT-101");
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].ending, LoopTestEnding::Aborted);
}

TEST_F(LoopCheckProcedureTest, ALostUnitAbortsTheTestMarkedSoAndTheValueComesBack)
{
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    SettleOut();
    ASSERT_EQ(procedure->TakeReading(0.1), ReadingRefusal::None);
    unit.Faults().silent = true;
    for (int i = 0; i < 400 && procedure->Running(); ++i)
        Tick();
    ASSERT_EQ(procedure->GetState(), LoopCheckProcedure::State::Aborted);
    EXPECT_TRUE(session->UnitLost());
    EXPECT_EQ(procedure->Result().ending, LoopTestEnding::UnitLost);
    EXPECT_EQ(procedure->Result().verdict, TestVerdict::Aborted);
    EXPECT_TRUE(procedure->Stored());
    // The range and value go back; the output stays off, as the session
    // leaves every output of a lost unit.
    ExpectChannelAsBefore();
    EXPECT_EQ(procedure->TakeReading(1.0), ReadingRefusal::NotAwaiting);
}

TEST_F(LoopCheckProcedureTest, AChannelChangedBySomeoneElseEndsTheTest)
{
    MakeProcedure();
    ASSERT_TRUE(procedure->Start(Request()).Started());
    Tick(2);
    // A remote client or the panel moves the value meanwhile.
    ASSERT_TRUE(session->Operations().SetSetValue(0, 19.0, LimitPolicy::Refuse).Done());
    Tick();
    EXPECT_EQ(procedure->GetState(), LoopCheckProcedure::State::Aborted);
    EXPECT_EQ(procedure->Result().ending, LoopTestEnding::Disturbed);
    ExpectChannelAsBefore();
}

TEST_F(LoopCheckProcedureTest, TheTestsFramesArePutDownToItsOwnSource)
{
    struct Sink final : RecordSink {
        std::vector<RecordEvent> events;
        void Append(RecordEvent event) override { events.push_back(std::move(event)); }
    } sink;
    RunRecorder recorder(sink, "panel");
    session->SetRecorder(&recorder);
    MakeProcedure();
    LoopTestRequest r = Request();
    r.tag.settleSeconds = 0;
    ASSERT_TRUE(procedure->Start(r).Started());
    Tick(4);
    procedure->Abort();
    Tick(4);
    session->SetRecorder(nullptr);
    int ours = 0;
    for (const RecordEvent& e : sink.events)
        if (e.kind == "settings" && e.source == "loopcheck FT-101")
            ++ours;
    EXPECT_GE(ours, 2); // the point put out and switched on, and the way back
}

} // namespace
} // namespace velmora::test
