// What a session puts in the run record, through the whole path: the
// operations, the automatic output, the link's queue and a simulated unit,
// on a fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "model/CVelmoraDoc.h"
#include "model/RangeTable.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordWriter.h"
#include "record/RunRecorder.h"

namespace velmora::test {
namespace {

class MemorySink final : public RecordSink {
public:
    void Append(RecordEvent event) override { events.push_back(std::move(event)); }
    std::vector<RecordEvent> Of(std::string_view kind) const
    {
        std::vector<RecordEvent> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                     [&](const RecordEvent& e) { return e.kind == kind; });
        return out;
    }
    // The last settings frame of channel ch (1-4): every change writes the
    // frames of every channel in use.
    RecordEvent LastSent(int ch) const
    {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->kind == "settings" && std::get<std::int64_t>(it->Get(RecordField::Channel)) == ch)
                return *it;
        }
        return {};
    }
    std::vector<RecordEvent> events;
};

template <typename T> T Field(const RecordEvent& e, RecordField f)
{
    return std::get<T>(e.Get(f));
}

class RecordedSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        unit.SetChannelCount(2);
        link =
            std::make_unique<GeneratorLink>(clock, prompter, std::make_unique<sim::SimChannel>(unit, clock), nullptr);
        doc.SetChannelCount(2);
        session = PanelSession::Create(doc, *link, prompter);
        session->SetRecorder(&recorder);
    }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            clock.AdvanceMs(50);
            session->OnTick();
        }
    }

    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    std::unique_ptr<GeneratorLink> link;
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    std::shared_ptr<PanelSession> session;
    MemorySink sink;
    RunRecorder recorder{sink, record_source::kPanel};
};

TEST_F(RecordedSession, EverySentValueIsRecordedWithWhoAskedAndWhatTheUnitGot)
{
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    ASSERT_FALSE(sink.events.empty());
    EXPECT_EQ(sink.events.front().kind, "connect");
    EXPECT_EQ(Field<std::string>(sink.events.front(), RecordField::Port), "ttyUSB0");
    EXPECT_EQ(Field<std::int64_t>(sink.events.front(), RecordField::Channels), 2);
    EXPECT_EQ(sink.Of("settings").size(), 2u) << "both channels' settings at the connect";

    // The operator: range 4-20 mA, 12 mA, output on.
    auto& ops = session->Operations();
    ASSERT_TRUE(ops.SelectRange(0, *RangeCodeFromKey("4_20mA")).Done());
    ASSERT_TRUE(ops.SetSetValue(0, 12.0, LimitPolicy::Refuse).Done());
    ASSERT_TRUE(ops.SetOutput(0, true).Done());
    Tick(2);
    const RecordEvent last = sink.LastSent(1);
    EXPECT_EQ(last.source, "panel");
    EXPECT_EQ(Field<std::int64_t>(last, RecordField::Channel), 1);
    EXPECT_EQ(Field<std::string>(last, RecordField::Range), "4_20mA");
    EXPECT_DOUBLE_EQ(Field<double>(last, RecordField::Value), 12.0);
    EXPECT_EQ(Field<std::string>(last, RecordField::Unit), "mA");
    EXPECT_TRUE(Field<bool>(last, RecordField::On));
    EXPECT_FALSE(last.Has(RecordField::Eng));
    // The code recorded is the code the unit received.
    EXPECT_EQ(Field<std::int64_t>(last, RecordField::Code), unit.Channel(0).words.dacCode);

    // Under the formula the engineering value is kept beside the output.
    ASSERT_TRUE(ops.SetOutput(0, false).Done());
    ASSERT_TRUE(ops.SetConversion(0, 0.0, 150.0, 1).Done());
    ASSERT_TRUE(ops.SetConversionMode(0, true).Done());
    ASSERT_TRUE(ops.SetSetValue(0, 75.0, LimitPolicy::Refuse).Done());
    Tick(2);
    const RecordEvent eng = sink.LastSent(1);
    EXPECT_DOUBLE_EQ(Field<double>(eng, RecordField::Eng), 75.0);
    EXPECT_DOUBLE_EQ(Field<double>(eng, RecordField::Value), 12.0);

    // A remote client's change is put down to it, also when the frame
    // leaves at a later tick.
    {
        const PanelSession::AskedBy remote(*session, "remote 10.0.0.7:40000");
        ASSERT_TRUE(ops.SetSetValue(0, 30.0, LimitPolicy::Refuse).Done());
    }
    Tick(2);
    EXPECT_EQ(sink.LastSent(1).source, "remote 10.0.0.7:40000");

    // An alarm comes and goes: one event each, with the unit's words.
    unit.Channel(1).statusWord = 0x0004;
    Tick(12);
    unit.Channel(1).statusWord = 0;
    Tick(12);
    // The state at the connect first, none on either channel: an alarm that
    // went while nobody watched must not stay raised in the record.
    auto alarms = sink.Of("alarm");
    ASSERT_EQ(alarms.size(), 4u);
    EXPECT_FALSE(Field<bool>(alarms[0], RecordField::Raised));
    EXPECT_FALSE(Field<bool>(alarms[1], RecordField::Raised));
    EXPECT_EQ(Field<std::string>(alarms[1], RecordField::Action), "state");
    alarms.erase(alarms.begin(), alarms.begin() + 2);
    EXPECT_EQ(Field<std::int64_t>(alarms[0], RecordField::Channel), 2);
    EXPECT_EQ(Field<std::string>(alarms[0], RecordField::Port), "ttyUSB0");
    EXPECT_TRUE(Field<bool>(alarms[0], RecordField::Raised));
    EXPECT_EQ(Field<std::int64_t>(alarms[0], RecordField::Code), 4);
    EXPECT_EQ(Field<std::string>(alarms[0], RecordField::Status).substr(0, 4), "0004");
    EXPECT_FALSE(Field<std::string>(alarms[0], RecordField::Text).empty());
    EXPECT_FALSE(Field<bool>(alarms[1], RecordField::Raised));

    // The disconnect: every output written off and recorded, then the event.
    session->Disconnect();
    EXPECT_EQ(sink.events.back().kind, "disconnect");
    EXPECT_FALSE(Field<bool>(sink.LastSent(1), RecordField::On));
}

TEST_F(RecordedSession, AnAutomaticOutputsStepsAreItsOwnAndALostUnitIsSaid)
{
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    auto& ops = session->Operations();
    ASSERT_TRUE(ops.SelectRange(0, *RangeCodeFromKey("4_20mA")).Done());
    AutoOutputSlot& slot = doc.m_autoOutput[0].slots[static_cast<std::size_t>(doc.m_model.ActiveSlot(0))];
    slot.mode = kAutoSawtooth;
    slot.start = 4.0;
    slot.end = 20.0;
    slot.step = 4.0;
    slot.interval = 1;
    slot.repeat = 1;
    ASSERT_TRUE(ops.StartAutoOutput(0, nullptr).Done());
    Tick(30);
    const auto runs = sink.Of("auto");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(Field<std::string>(runs[0], RecordField::Action), "start");
    EXPECT_EQ(runs[0].source, "panel");
    EXPECT_EQ(Field<std::string>(runs[0], RecordField::Mode), "sawtooth");
    EXPECT_EQ(Field<std::string>(runs[1], RecordField::Action), "end");
    EXPECT_EQ(runs[1].source, "auto");
    const auto steps = sink.Of("settings");
    const auto byAuto =
        std::count_if(steps.begin(), steps.end(), [](const RecordEvent& e) { return e.source == "auto"; });
    EXPECT_GE(byAuto, 4);

    // The unit goes silent: the record says it was lost, not disconnected.
    unit.Faults().silent = true;
    for (int i = 0; i < 200 && session->IsConnected(); ++i)
        Tick();
    ASSERT_FALSE(session->IsConnected());
    EXPECT_EQ(sink.events.back().kind, "lost");
    EXPECT_TRUE(sink.Of("disconnect").empty());
}

TEST(RunRecorderTest, AMonitorKeepsAlarmsOnly)
{
    MemorySink sink;
    RunRecorder recorder(sink, record_source::kCtl, true);
    recorder.Connected("ttyUSB0", "V1.00", 1, "");
    recorder.SettingsSent(0, SettingsSnapshot{}, 0);
    GeneratorModel model;
    model.channels[0].statusWord = 0x0001;
    recorder.TrackAlarms(model);
    recorder.TrackAlarms(model);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].kind, "alarm");
    EXPECT_EQ(sink.events[0].source, "ctl");
}

} // namespace
} // namespace velmora::test
