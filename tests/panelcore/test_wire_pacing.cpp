// A client that changes the output far faster than the line carries, through
// the whole path: the session's ticks, the model, the link's queue and a
// simulated unit that hears the host at wire speed, on a fake clock.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "protocol/WireQueue.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// The simulated unit behind a port that holds only 512 bytes not yet sent
// (a quarter of a second of the line): a write that does not fit fails.
// Unpaced, a change every millisecond fills it within a few milliseconds;
// paced, it holds at most the budget and, when the port closes, the whole
// queue. How much it still holds is what the paced unit has not yet heard.
class SmallBufferPort final : public ByteChannel {
public:
    static constexpr std::int64_t kHolds = 512;

    SmallBufferPort(sim::SimUnit& unit, Clock& clock) : m_unit(unit), m_clock(clock), m_inner(unit, clock) { }

    bool Open() override { return m_inner.Open(); }
    void Close() override { m_inner.Close(); }
    bool IsOpen() const override { return m_inner.IsOpen(); }
    LineResult ReadLine(LineBuffer& line) override { return m_inner.ReadLine(line); }
    bool WaitForInput(Clock& clock, Nanos deadline) override { return m_inner.WaitForInput(clock, deadline); }

    void Write(std::span<const std::uint8_t> bytes) override
    {
        const Nanos ahead = m_unit.HostBytesArrived() - m_clock.Now();
        const Nanos perByte = sim::WireTime(1);
        const std::int64_t held = ahead > 0ns ? (ahead + perByte - 1ns) / perByte : 0;
        if (held + static_cast<std::int64_t>(bytes.size()) > kHolds) {
            ++failedWrites;
            return;
        }
        m_inner.Write(bytes);
    }

    int failedWrites = 0;

private:
    sim::SimUnit& m_unit;
    Clock& m_clock;
    sim::SimChannel m_inner;
};

// A settings line as the unit heard it, and when its last byte arrived.
struct Heard {
    Nanos at;
    std::string line;
};

TEST(WirePacing, AThousandChangesASecondKeepTheLineBusyAndTheUnitCurrent)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    unit.Faults().pace = true;
    std::vector<Heard> settingsHeard;
    unit.SetObserver([&](bool sent, std::string_view line) {
        if (!sent && line.substr(0, 2) == "\x02W")
            settingsHeard.push_back({unit.HostBytesArrived(), std::string(line)});
    });
    auto port = std::make_unique<SmallBufferPort>(unit, clock);
    SmallBufferPort& wire = *port;
    GeneratorLink link(clock, prompter, std::move(port), nullptr);
    CVelmoraDoc doc{prompter, CVelmoraDoc::NoStateFile{}};
    doc.SetChannelCount(1);
    const auto session = PanelSession::Create(doc, link, prompter);
    GeneratorModel& model = doc.m_model;
    model.SetRange(0, 1); // 0-10 V
    ASSERT_EQ(session->Connect("ttyUSB0"), PanelSession::ConnectOutcome::Connected);
    model.SwitchOutputOn(0);

    // Three seconds of a new value every millisecond, the session ticking
    // every 50 ms as the window's timer does.
    const Nanos start = clock.Now();
    const WireCounters before = link.Wire().Counters();
    for (int ms = 1; ms <= 3000; ++ms) {
        clock.AdvanceMs(1);
        model.SetSetValue(0, 0.003 * ms);
        if (ms % 50 == 0)
            session->OnTick();
    }
    const Nanos lastChange = clock.Now();
    for (int tick = 0; tick < 4; ++tick) {
        clock.AdvanceMs(50);
        session->OnTick();
    }

    EXPECT_EQ(wire.failedWrites, 0);
    EXPECT_TRUE(session->IsConnected()) << "the polls kept getting through";
    // The unit holds the last value, heard within 100 ms of the change.
    EXPECT_EQ(unit.Channel(0).words.dacCode, model.channels[0].dacCode);
    ASSERT_FALSE(settingsHeard.empty());
    EXPECT_EQ(HexField(settingsHeard.back().line, 5, 4), model.channels[0].dacCode);
    EXPECT_LE(settingsHeard.back().at - lastChange, 100ms);

    // The line carried the changes nearly all the time, most of them
    // replaced before they went.
    const WireCounters& after = link.Wire().Counters();
    EXPECT_GE(after.lineBusy - before.lineBusy, (lastChange - start) * 9 / 10);
    EXPECT_GT(after.framesReplaced - before.framesReplaced, 2500u);
    EXPECT_LE(after.longestBacklog, WireQueue::kBacklogLimit + WireQueue::TransmitTime(kSettingsFrameLength));

    // A disconnect right after a few quick changes: the output written off,
    // queued behind them, still reaches the unit before the port closes.
    const std::uint16_t onWord = unit.Channel(0).words.controlWord;
    for (int k = 1; k <= 4; ++k)
        model.SetSetValue(0, 0.5 * k);
    EXPECT_FALSE(link.Wire().IsEmpty());
    session->Disconnect();
    EXPECT_FALSE(link.IsConnected());
    EXPECT_NE(model.channels[0].controlWord, onWord);
    EXPECT_EQ(unit.Channel(0).words.controlWord, model.channels[0].controlWord);
    EXPECT_EQ(unit.Channel(0).words.dacCode, model.channels[0].dacCode);
    EXPECT_EQ(wire.failedWrites, 0);
}

} // namespace
} // namespace velmora::test
