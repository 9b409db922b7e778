// The command tree over a real panel session and the in-process simulated
// unit on a fake clock: what a client's messages do to the unit, what they
// answer, and how each refusal reaches the client's error queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "loopcheck/LoopCheckDatabase.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordWriter.h"
#include "remote/ScpiInstrument.h"

namespace velmora::test {
namespace {

constexpr std::uint16_t kOutputEnable = 0x1000;

class ScpiInstrumentTest : public ::testing::Test {
protected:
    ScpiInstrumentTest()
    {
        unit.SetChannelCount(2);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        doc.SetChannelCount(2);
        session = PanelSession::Create(doc, *link, prompter);
        instrument = std::make_unique<remote::ScpiInstrument>(session);
        instrument->ClientCame(1, "test");
    }

    void Connect() { ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected); }

    // The answer line of one program message, without its LF; "" when the
    // message had no query.
    std::string Send(const std::string& line, remote::ClientId id = 1)
    {
        std::string response;
        EXPECT_EQ(instrument->Execute(id, line, response), remote::LineService::Outcome::Done) << line;
        if (!response.empty()) {
            EXPECT_EQ(response.back(), '\n');
            response.pop_back();
        }
        return response;
    }
    // Every queued error, oldest first.
    std::vector<std::string> Errors(remote::ClientId id = 1)
    {
        std::vector<std::string> out;
        for (;;) {
            const std::string e = Send("SYST:ERR?", id);
            if (e.rfind("0,", 0) == 0)
                return out;
            out.push_back(e);
        }
    }
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            session->OnTick();
        }
    }
    // The unit as it is once the line has carried everything queued.
    const sim::SimChannelState& Unit(int c)
    {
        for (int i = 0; i < 100 && !link->Wire().IsDrained(); ++i) {
            clock.AdvanceMs(5);
            link->PumpWire();
        }
        return unit.Channel(c);
    }
    bool UnitOn(int c) { return (Unit(c).words.controlWord & kOutputEnable) != 0; }

    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    std::unique_ptr<GeneratorLink> link;
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    std::shared_ptr<PanelSession> session;
    std::unique_ptr<remote::ScpiInstrument> instrument;
};

TEST_F(ScpiInstrumentTest, RangesLevelsAndOutputsReachTheUnitAndAnswerInBaseUnits)
{
    Connect();
    EXPECT_EQ(Send("*IDN?"), "Hovelt,VKX,0," + doc.m_model.versionText);
    EXPECT_EQ(Send("SYST:CHAN?"), "2");

    // One message, long and short forms, any case, the path rule (CURR? is
    // SOUR1:CURR? after SOUR1:RANG; after the long header it would not be).
    EXPECT_EQ(Send("SOUR1:RANG \"4_20mA\";CURR?;:source1:current:level:immediate:amplitude 12 mA;:OUTP1 ON;OUTP1?;"
                   ":SOUR1:CURR?"),
              "4.000000E-03;1;1.200000E-02");
    EXPECT_EQ(Unit(0).rangeCode, 5);
    EXPECT_EQ(Unit(0).words.dacCode, 32768); // (12 - 4) * 4095.9375 + 0.5
    EXPECT_TRUE(UnitOn(0));
    EXPECT_EQ(Send("RANG?;FUNC?"), "\"4_20mA\";CURR");

    // Channel 2 by its range code; volts with prefixes.
    EXPECT_EQ(Send("SOURce2:RANGe 1"), "");
    EXPECT_EQ(Send("SOUR2:VOLT 2500 MV;VOLT?;FUNC?"), "2.500000E+00;VOLT");
    EXPECT_EQ(Unit(1).rangeCode, 1);
    EXPECT_EQ(Unit(1).words.dacCode, 16384);
    EXPECT_EQ(Send("SOUR2:VOLT? MIN;VOLT? MAX;VOLT? DEF"), "0.000000E+00;1.000000E+01;0.000000E+00");
    EXPECT_EQ(Send("SOUR2:VOLT MAX;VOLT?"), "1.000000E+01");
    // 0.012 A is 11.999999999999998 mA in binary: the level is rounded to
    // the panel's decimals, not cut a step short.
    EXPECT_EQ(Send("CURR 0.012;CURR?"), "1.200000E-02");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(session->Document().m_model.channels[0].setValue, 12.0);
}

TEST_F(ScpiInstrumentTest, RefusalsAreQueuedInOrderWithTheirClassAndChangeNothing)
{
    Connect();
    Send("SOUR1:RANG \"4_20mA\";CURR 0.008;:OUTP1 ON");
    const int writes = Unit(0).settingsWrites;

    // Beyond the range's limits: refused, not clamped; a remote client must know.
    Send("SOUR1:CURR 0.021");
    // A voltage level on a current range, and a range change while the output is on.
    Send("SOUR1:VOLT 1;:SOUR1:RANG 1");
    // Channel 3 on a two-channel unit, an unknown header, parameters missing and extra.
    Send("SOUR3:CURR 0.004;:FOO:BAR;:OUTP1;:OUTP1 ON,OFF");
    // A grammar error ends the message; the units before it ran.
    EXPECT_EQ(Send("OUTP1?;OUTP1 OFF;CURR 4 XA;OUTP1 ON"), "1");

    EXPECT_EQ(Errors(),
              (std::vector<std::string>{
                  "-222,\"Data out of range;Some data is out of range\"",
                  "-221,\"Settings conflict;the range is a current range\"",
                  "-221,\"Settings conflict;Cannot switch while the output is ON.\"",
                  "-114,\"Header suffix out of range;the unit has 2 channels\"",
                  "-113,\"Undefined header\"",
                  "-109,\"Missing parameter\"",
                  "-108,\"Parameter not allowed\"",
                  "-131,\"Invalid suffix\"",
              }));
    // What was refused never reached the unit; OUTP1 OFF before the bad unit did.
    EXPECT_EQ(Unit(0).rangeCode, 5);
    EXPECT_EQ(Unit(0).words.dacCode, 16384);
    EXPECT_FALSE(UnitOn(0));
    EXPECT_GT(Unit(0).settingsWrites, writes);

    // Each class set its own event bit: CME 32 + EXE 16 = 48; *ESR? clears.
    Send("*CLS");
    Send("FOO");
    Send("SOUR1:CURR 1");
    EXPECT_EQ(Send("*ESR?;*ESR?"), "48;0");
    // The error queue is per client: a second one has an empty queue.
    instrument->ClientCame(2, "other");
    EXPECT_EQ(Send("SYST:ERR:COUN?", 2), "0");
    EXPECT_EQ(Send("SYST:ERR:COUN?", 1), "2");
    EXPECT_EQ(Send("*CLS;SYST:ERR?"), "0,\"No error\"");
}

TEST_F(ScpiInstrumentTest, WithoutTheUnitOutputsAreRefusedAsHardwareMissing)
{
    EXPECT_EQ(Send("OUTP1 ON;:SOUR1:VOLT 1;:INIT1"), "");
    const std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 3u);
    for (const std::string& e : errors)
        EXPECT_EQ(e.rfind("-241,", 0), 0u) << e;
    EXPECT_EQ(Send("*TST?"), "1");
    EXPECT_TRUE(prompter.shown.empty()); // nothing popped up in the operator's face
}

TEST_F(ScpiInstrumentTest, AUnitThatStopsAnsweringIsAHardwareErrorUntilTheNextConnect)
{
    Connect();
    unit.Faults().silent = true;
    Tick(PanelSession::kRefreshEvery * 25); // past the lost-unit limit of unanswered polls
    ASSERT_FALSE(session->IsConnected());
    Send("OUTP1 ON");
    EXPECT_EQ(Send("*TST?"), "1");
    std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("-240,", 0), 0u) << errors[0];
    unit.Faults().silent = false;
    Connect();
    session->Disconnect();
    Send("OUTP1 ON");
    errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("-241,", 0), 0u) << errors[0];
}

TEST_F(ScpiInstrumentTest, AListRunsOnTheTicksAndTheStatusRegistersFollowIt)
{
    Connect();
    Send("SOUR1:RANG \"0_10V\";:OUTP1 ON");
    // Values and dwells come one command each, in either order.
    Send("SOUR1:LIST:DWEL 0.1");
    Send("SOUR1:LIST:VAL 1,2.5 V,4000 mV;:SOUR1:AUTO:MODE LIST;:SOUR1:LIST:COUN 2");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Send("SOUR1:AUTO:MODE?;:SOUR1:LIST:VAL?;DWEL?;POIN?;COUN?"),
              "LIST;1.000000E+00,2.500000E+00,4.000000E+00;1.000000E-01,1.000000E-01,1.000000E-01;3;2");

    Send("STAT:OPER:ENAB 1");
    Send("INIT1");
    EXPECT_EQ(Send("SOUR1:AUTO:STAT?;:STAT:OPER:COND?;:SOUR1:VOLT?"), "RUN;1;1.000000E+00");
    EXPECT_EQ(Unit(0).words.dacCode, 6554); // 1 V

    // The values the unit was given, each once: two cycles of 1 V, 2.5 V, 4 V.
    std::vector<int> codes{Unit(0).words.dacCode};
    for (int i = 0; i < 20; ++i) {
        Tick();
        if (Unit(0).words.dacCode != codes.back())
            codes.push_back(Unit(0).words.dacCode);
    }
    ASSERT_GE(codes.size(), 6u);
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 6),
              (std::vector<int>{6554, 16384, 26214, 6554, 16384, 26214}));
    EXPECT_EQ(Send("SOUR1:AUTO:STAT?;:STAT:OPER:COND?"), "STOP;0");
    // The run latched the event register; the summary shows in the status byte.
    EXPECT_EQ(Send("*STB?"), "128");
    EXPECT_EQ(Send("STAT:OPER?;:STAT:OPER?;*STB?"), "1;0;0");
}

TEST_F(ScpiInstrumentTest, RampSettingsPassTheDialogsRulesAndItsMessagesBecomeTheErrors)
{
    Connect();
    Send("SOUR2:RANG \"4_20mA\";AUTO:MODE SAWT;:SOUR2:RAMP:BEG 0.004;END 0.02;STEP 0.001;INT 0.5;COUN 0");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Send("SOUR2:RAMP:BEG?;END?;STEP?;INT?;COUN?;:SOUR2:AUTO:MODE?"),
              "4.000000E-03;2.000000E-02;1.000000E-03;5.000000E-01;0;SAWT");

    Send("SOUR2:RAMP:STEP 0");
    Send("SOUR2:RAMP:BEG 0.03");
    Send("SOUR2:RAMP:INT 10000");
    Send("SOUR2:AUTO:MODE SQUare");
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{
                  "-224,\"Illegal parameter value;The step must not be 0\"",
                  "-222,\"Data out of range;Some data is out of range\"",
                  "-222,\"Data out of range;The interval is at most 9999 seconds\"",
                  "-224,\"Illegal parameter value\"",
              }));
    // The stored settings are those of the last accepted command.
    EXPECT_EQ(Send("SOUR2:RAMP:BEG?;STEP?;INT?"), "4.000000E-03;1.000000E-03;5.000000E-01");

    // A range change while the automatic output runs is a conflict.
    Send("INIT2");
    Send("SOUR2:RANG 1");
    ASSERT_EQ(Errors().size(), 1u);
    Send("SOUR2:AUTO:PAUS");
    EXPECT_EQ(Send("SOUR2:AUTO:STAT?"), "PAUS");
    Send("ABOR2");
    EXPECT_EQ(Send("SOUR2:AUTO:STAT?"), "STOP");
}

// A list's slot keeps no ramp: fields sent one command each could never
// bring it back to a ramp, as the ramp its mode alone brings has no step.
TEST_F(ScpiInstrumentTest, RampFieldsSentWhileTheSlotIsAListWaitForTheRampMode)
{
    Connect();
    Send("SOUR1:RANG \"0_10V\";:SOUR1:LIST:VAL 1;:SOUR1:LIST:DWEL 0.1;:SOUR1:AUTO:MODE LIST");
    Send("SOUR1:AUTO:MODE SAWT");
    ASSERT_EQ(Errors(), (std::vector<std::string>{"-224,\"Illegal parameter value;The step must not be 0\""}));

    Send("SOUR1:RAMP:BEG 2;END 8;STEP -0.5;INT 0.3;COUN 4");
    EXPECT_EQ(Send("SOUR1:AUTO:MODE?;:SOUR1:RAMP:BEG?;END?;STEP?;INT?;COUN?;:SOUR1:LIST:POIN?"),
              "LIST;2.000000E+00;8.000000E+00;5.000000E-01;3.000000E-01;4;1");
    // Started now, the list would run instead of the ramp sent.
    Send("INIT1");
    EXPECT_EQ(Send("SOUR1:AUTO:STAT?"), "STOP");
    Send("SOUR1:AUTO:MODE TRI;:INIT1");
    EXPECT_EQ(
        Errors(),
        (std::vector<std::string>{"-221,\"Settings conflict;RAMP values wait for AUTO:MODE SAWTooth or TRIangle\""}));
    EXPECT_EQ(Send("SOUR1:AUTO:MODE?;:SOUR1:RAMP:BEG?;END?;STEP?;INT?;COUN?;:SOUR1:AUTO:STAT?;:SOUR1:VOLT?"),
              "TRI;2.000000E+00;8.000000E+00;5.000000E-01;3.000000E-01;4;RUN;2.000000E+00");
    // Once a ramp, a field applies at once and nothing is held.
    Send("ABOR1;:SOUR1:RAMP:END 9;:SOUR1:AUTO:MODE SAWT");
    EXPECT_EQ(Send("SOUR1:RAMP:BEG?;END?"), "2.000000E+00;9.000000E+00");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ScpiInstrumentTest, TheLastValueNamesEachStepWithItsCycleRowAndDueTime)
{
    Connect();
    Send("SOUR1:RANG \"4_20mA\";:SOUR1:LIST:VAL 0.005,0.0123456;:SOUR1:LIST:DWEL 0.1,0.3;:SOUR1:AUTO:MODE LIST");
    Send("SOUR1:LIST:COUN 1;:INIT1");
    ASSERT_TRUE(Errors().empty());
    std::int64_t start = session->Now();
    // The due time as milliseconds after the start.
    const auto last = [&] {
        const std::string a = Send("SOUR1:AUTO:LAST?");
        const std::size_t comma = a.rfind(',');
        return a.substr(0, comma + 1) + std::to_string(std::stoll(a.substr(comma + 1)) - start);
    };
    EXPECT_EQ(last(), "RUN,5.000000000000000E-03,0,1,0");
    Tick();
    EXPECT_EQ(last(), "RUN,5.000000000000000E-03,0,1,0"); // not due yet: still the start's value
    Tick();
    // Amperes with every digit the row holds, at the range's three decimals.
    EXPECT_EQ(last(), "RUN,1.234600000000000E-02,0,2,100");
    Tick(6);
    // Back to row 1, the run's one cycle done.
    EXPECT_EQ(last(), "STOP,5.000000000000000E-03,1,1,400");

    // A ramp has no row.
    Send("SOUR1:RAMP:BEG 0.004;END 0.006;STEP 0.001;INT 0.2;COUN 0;:SOUR1:AUTO:MODE SAWT;:INIT1");
    start = session->Now();
    EXPECT_EQ(last(), "RUN,4.000000000000000E-03,0,0,0");
    Tick(4);
    EXPECT_EQ(last(), "RUN,5.000000000000000E-03,0,0,200");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ScpiInstrumentTest, ResetStopsRunsSwitchesOffAndKeepsRangesFormulasAndTheErrorQueue)
{
    Connect();
    Send("SOUR1:RANG \"4_20mA\";CURR 0.015;:OUTP1 ON;:SOUR2:RANG \"0_10V\";VOLT 7;:OUTP2 ON");
    Send("SOUR2:RAMP:BEG 1;END 9;STEP 1;INT 0.1;:INIT2");
    Send("FOO");
    Send("*RST");
    EXPECT_FALSE(UnitOn(0));
    EXPECT_FALSE(UnitOn(1));
    EXPECT_EQ(Send("SOUR1:RANG?;CURR?;:SOUR2:RANG?;VOLT?;AUTO:STAT?"),
              "\"4_20mA\";4.000000E-03;\"0_10V\";0.000000E+00;STOP");
    EXPECT_EQ(Send("SYST:ERR:COUN?"), "1");
    Tick(10);
    EXPECT_EQ(Unit(1).words.dacCode, 0); // nothing runs on
}

TEST_F(ScpiInstrumentTest, UnderTheFormulaLevelsStayInBaseUnitsAndRampsTakeEngineeringUnits)
{
    Connect();
    Send("SOUR1:RANG \"4_20mA\";CONV:LOW 0;UPP 150;DEC 1;:SOUR1:CONV ON");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Send("SOUR1:CONV?;CONV:LOW?;UPP?;DEC?"), "1;0.000000E+00;1.500000E+02;1");
    // 75 m3/h is the middle of the span: 12 mA.
    Send("SOUR1:CONV:LEV 75");
    EXPECT_EQ(Send("SOUR1:CURR?;CONV:LEV?"), "1.200000E-02;7.500000E+01");
    Send("SOUR1:CURR 0.008");
    EXPECT_EQ(Send("SOUR1:CONV:LEV?"), "3.750000E+01");
    // The ramp is in the formula's units: a unit suffix does not belong there.
    Send("SOUR1:RAMP:BEG 10;END 140;STEP 5");
    EXPECT_EQ(Send("SOUR1:RAMP:BEG?;END?"), "1.000000E+01;1.400000E+02");
    Send("SOUR1:RAMP:BEG 4 MA");
    Send("SOUR1:CONV:LOW 1e9");
    const std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].rfind("-138,", 0), 0u);
    EXPECT_EQ(errors[1].rfind("-224,", 0), 0u);
}

TEST_F(ScpiInstrumentTest, TheLockBelongsToOneClientUntilItGivesItBackOrGoes)
{
    std::vector<remote::ClientId> holders;
    instrument->onLockChanged = [&holders](remote::ClientId id) { holders.push_back(id); };
    instrument->ClientCame(2, "other");
    Send("SYST:RWL");
    Send("SYST:RWL", 2);
    EXPECT_EQ(Errors(2).size(), 1u);
    EXPECT_EQ(instrument->LockHolder(), 1u);
    Send("SYST:LOC", 2); // not its lock to give
    EXPECT_EQ(instrument->LockHolder(), 1u);
    instrument->ClientWent(1);
    EXPECT_EQ(instrument->LockHolder(), 0u);
    Send("SYST:RWL", 2);
    Send("SYST:LOC", 2);
    EXPECT_EQ(holders, (std::vector<remote::ClientId>{1, 0, 2, 0}));
}

TEST_F(ScpiInstrumentTest, OperationCompleteWaitsUntilTheNewestValuesAreOnTheWire)
{
    Connect();
    bool idle = false;
    instrument->SetWireIdle([&idle] { return idle; });
    std::string response;
    EXPECT_EQ(instrument->Execute(1, "OUTP1 ON;*OPC?;OUTP1?", response), remote::LineService::Outcome::Held);
    EXPECT_EQ(response, "");
    EXPECT_EQ(instrument->Resume(1, response), remote::LineService::Outcome::Held);
    idle = true;
    EXPECT_EQ(instrument->Resume(1, response), remote::LineService::Outcome::Done);
    EXPECT_EQ(response, "1;1\n");
    // Answers made before the wait come first, in order.
    idle = false;
    response.clear();
    EXPECT_EQ(instrument->Execute(1, "OUTP1?;*WAI;OUTP1 OFF;OUTP1?", response), remote::LineService::Outcome::Held);
    idle = true;
    EXPECT_EQ(instrument->Resume(1, response), remote::LineService::Outcome::Done);
    EXPECT_EQ(response, "1;0\n");
}

TEST_F(ScpiInstrumentTest, TheWindowHearsOfEveryChangeAClientMade)
{
    struct Seen final : PanelSessionObserver {
        std::vector<int> changed;
        void ChannelChanged(int c) override { changed.push_back(c); }
    } seen;
    session->SetObserver(&seen);
    Connect();
    Send("SOUR2:RANG 1;VOLT 3;:OUTP2 ON;:SOUR1:CONV ON");
    Send("SOUR1:CURR 1"); // refused: nothing to show
    session->SetObserver(nullptr);
    EXPECT_EQ(seen.changed, (std::vector<int>{1, 1, 1, 0}));
}

} // namespace
} // namespace velmora::test

namespace velmora::test {
namespace {

class RecordingSink final : public RecordSink {
public:
    void Append(RecordEvent event) override { events.push_back(std::move(event)); }
    std::vector<RecordEvent> events;
};

// Remote clients in the run record: who came, went, was refused and held
// the lock, and every value a client set put down to it, also the frames a
// later tick sent.
TEST_F(ScpiInstrumentTest, TheRunRecordPutsAClientsChangesDownToIt)
{
    RecordingSink sink;
    RunRecorder recorder(sink, record_source::kServe);
    session->SetRecorder(&recorder);
    Connect();
    instrument->ClientCame(2, "192.168.1.20:51234");
    instrument->ClientRefused("10.9.9.9:4000", "not in the allowed networks");
    EXPECT_EQ(Send("SYST:RWL", 2), "");
    EXPECT_EQ(Send("SOUR1:RANG \"4_20mA\";:SOUR1:CURR 0.016;:OUTP1 ON", 2), "");
    Tick(4);
    instrument->ClientWent(2);

    const auto of = [&](std::string_view kind) {
        std::vector<RecordEvent> out;
        for (const auto& e : sink.events)
            if (e.kind == kind)
                out.push_back(e);
        return out;
    };
    const auto remote = of("remote");
    ASSERT_EQ(remote.size(), 5u);
    EXPECT_EQ(std::get<std::string>(remote[0].Get(RecordField::Action)), "connected");
    EXPECT_EQ(std::get<std::string>(remote[0].Get(RecordField::Peer)), "192.168.1.20:51234");
    EXPECT_EQ(std::get<std::string>(remote[1].Get(RecordField::Action)), "refused");
    EXPECT_EQ(std::get<std::string>(remote[1].Get(RecordField::Text)), "not in the allowed networks");
    EXPECT_EQ(std::get<std::string>(remote[2].Get(RecordField::Action)), "lock");
    EXPECT_EQ(std::get<std::string>(remote[3].Get(RecordField::Action)), "went");
    // The holder went: the panel is free, and the record says so.
    EXPECT_EQ(std::get<std::string>(remote[4].Get(RecordField::Action)), "unlock");

    const auto sent = of("settings");
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.front().source, "serve") << "the connect's own frames";
    const RecordEvent& last = *std::find_if(sent.rbegin(), sent.rend(), [](const RecordEvent& e) {
        return std::get<std::int64_t>(e.Get(RecordField::Channel)) == 1;
    });
    EXPECT_EQ(last.source, "remote 192.168.1.20:51234");
    EXPECT_DOUBLE_EQ(std::get<double>(last.Get(RecordField::Value)), 16.0);
    EXPECT_TRUE(std::get<bool>(last.Get(RecordField::On)));
    session->SetRecorder(nullptr);
}

// A loop check a client runs: started on a tag, its state and countdown
// polled, readings given, points and result read back; the channel put
// back as the client found it, also when the client goes in the middle.
TEST_F(ScpiInstrumentTest, AClientRunsALoopCheckAndTheChannelComesBack)
{
    const std::filesystem::path db =
        std::filesystem::temp_directory_path() / ("velmora-scpi-loop-" + std::to_string(::getpid()) + ".sqlite3");
    std::filesystem::remove(db);
    ::setenv("VELMORA_LOOPCHECK_DB", db.c_str(), 1);
    {
        LoopCheckDatabase tags;
        ASSERT_EQ(tags.Open(db.string()), LoopDbOpenResult::Ok);
        LoopTag tag;
        tag.name = "FT-101";
        tag.channel = 1;
        tag.range = "4_20mA";
        tag.urv = 150;
        tag.unit = "m3/h";
        tag.settleSeconds = 2;
        ASSERT_EQ(tags.AddTag(tag), TagWrite::Done) << tags.LastError();
        tag.name = "TT-2";
        tag.range = "0_10V";
        ASSERT_EQ(tags.AddTag(tag), TagWrite::Done);
    }
    Connect();
    EXPECT_EQ(Send("SOUR1:RANG \"4_20mA\";:SOUR1:CURR 0.0075;:OUTP1 OFF"), "");
    const std::uint16_t codeBefore = Unit(0).words.dacCode;

    EXPECT_EQ(Send("LCH:STAT?"), "IDLE,0,0,0,0,\"\",0,0");
    EXPECT_EQ(Send("LCH:STAR \"TT-2\",\"Aoki\""), "");
    EXPECT_EQ(Errors(),
              std::vector<std::string>{"-221,\"Settings conflict;channel 1 is on 4_20mA, the tag on 0_10V\""});
    EXPECT_EQ(Send("LCH:STAR \"FT-999\",\"Aoki\";:LCH:POIN? 1;:LCH:RES?"), "");
    EXPECT_EQ(Errors().size(), 3u);
    EXPECT_FALSE(UnitOn(0)) << "nothing moved";

    EXPECT_EQ(Send("LCH:STAR \"FT-101\",\"Aoki\",FOUN,\"zero checked\""), "");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Send("LCH:STAT?"), "SETT,1,5,0,4,\"mA\",0,2");
    EXPECT_TRUE(UnitOn(0));
    EXPECT_EQ(Send("LCH:READ 0"), "");
    EXPECT_EQ(Errors(), std::vector<std::string>{"-221,\"Settings conflict;no reading is due\""});
    const double readings[] = {0.3, 37.5, 75.9, 112.5, 150};
    for (int i = 0; i < 5; ++i) {
        Tick(40); // the settle time on the clock
        const std::string state = Send("LCH:STAT?");
        EXPECT_EQ(state.substr(0, 7), "READ," + std::to_string(i + 1) + ",") << state;
        EXPECT_EQ(Send("LCH:READ " + std::to_string(readings[i])), "");
    }
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Send("LCH:STAT?"), "DONE,5,5,0,0,\"mA\",0,0");
    // The error as kept, unrounded.
    EXPECT_EQ(Send("LCH:POIN? 3"), "50,12,\"mA\",32768,75,75.9,0.6000000000000039,FAIL");
    const std::string result = Send("LCH:RES?");
    EXPECT_EQ(result.rfind("1,\"FT-101\",AS_FOUND,FAIL,COMPLETED,\"", 0), 0u) << result;
    EXPECT_FALSE(UnitOn(0));
    EXPECT_EQ(Unit(0).words.dacCode, codeBefore);

    // A client that goes in the middle: its test ends, the channel is back.
    instrument->ClientCame(2, "10.0.0.7:5025");
    EXPECT_EQ(Send("LCH:STAR \"FT-101\",\"Aoki\",LEFT", 2), "");
    EXPECT_TRUE(UnitOn(0));
    instrument->ClientWent(2);
    EXPECT_FALSE(UnitOn(0));
    EXPECT_EQ(Unit(0).words.dacCode, codeBefore);
    EXPECT_EQ(Send("LCH:STAT?").substr(0, 5), "ABOR,");
    {
        LoopCheckDatabase kept;
        ASSERT_EQ(kept.Open(db.string()), LoopDbOpenResult::Ok);
        const auto history = kept.History("FT-101");
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(history[1].ending, LoopTestEnding::Aborted);
        EXPECT_EQ(history[1].kind, LoopTestKind::AsLeft);
        EXPECT_TRUE(kept.Verify().ok);
    }
    instrument.reset();
    ::unsetenv("VELMORA_LOOPCHECK_DB");
    std::filesystem::remove(db);
}

} // namespace
} // namespace velmora::test
