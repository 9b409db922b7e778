// The queue that paces normal operation's frames onto the serial line, seen
// through the link on a fake clock: what leaves, in which order, when, and
// that nothing queued is lost on the way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeLinkTest.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"
#include "protocol/WireQueue.h"

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

// Channel ch's settings frame carrying `dac`: frames of one channel differ
// only there, as successive values of a set value do.
std::string Settings(int ch, std::uint16_t dac)
{
    SettingsWords words;
    words.dacCode = dac;
    return BuildSettingsWrite(ch, 1, words);
}

const Nanos kFrameTime = WireQueue::TransmitTime(kSettingsFrameLength);

class WireQueueTest : public FakeLinkTest {
protected:
    WireQueueTest() { EXPECT_TRUE(link->Connect()); }

    const WireQueue& Wire() const { return link->Wire(); }
    std::vector<std::string> Written() const { return Sent(*serial); }
    std::vector<std::string> WrittenFrom(std::size_t from) const
    {
        const std::vector<std::string> all = Written();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }

    // Three frames on an idle line use up the budget: the third starts 48 ms
    // in, under 50 ms, and anything queued after it has to wait.
    void FillTheLine()
    {
        for (int ch = 0; ch < 3; ++ch)
            link->QueueSettingsFrame(ch, Settings(ch, 0x0100));
        ASSERT_EQ(Wire().PendingFrames(), 0u);
        ASSERT_GE(Wire().Backlog(), WireQueue::kBacklogLimit);
    }

    // Every frame queued is written, replaced or still waiting.
    void ExpectFramesAccountedFor() const
    {
        const WireCounters& c = Wire().Counters();
        EXPECT_EQ(c.framesQueued, c.framesWritten + c.framesReplaced + Wire().PendingFrames());
    }
};

} // namespace

TEST_F(WireQueueTest, ANewerFrameReplacesTheUnsentOneWhereItStands)
{
    FillTheLine();
    const std::size_t before = Written().size();
    link->QueueSettingsFrame(2, Settings(2, 0x0001));
    link->QueueSettingsFrame(0, Settings(0, 0x0001));
    link->QueueStatusRequest(BuildStatusRequest(0));
    link->QueueSettingsFrame(1, Settings(1, 0x0001));
    // Newer values of channels 2 and 0 and a poll of another channel: each
    // takes its slot's place, the latest content wins.
    link->QueueSettingsFrame(2, Settings(2, 0x0002));
    link->QueueSettingsFrame(0, Settings(0, 0x0003));
    link->QueueSettingsFrame(2, Settings(2, 0x0004));
    link->QueueStatusRequest(BuildStatusRequest(1));
    EXPECT_EQ(Written().size(), before);
    EXPECT_EQ(Wire().PendingFrames(), 4u);
    EXPECT_EQ(Wire().Counters().framesReplaced, 4u);
    ExpectFramesAccountedFor();

    // Enough time for all of them, pumped at the ticks.
    for (int tick = 0; tick < 4; ++tick) {
        clock.AdvanceMs(50);
        link->PumpWire();
    }
    EXPECT_EQ(WrittenFrom(before),
              (std::vector<std::string>{Settings(2, 0x0004), Settings(0, 0x0003), BuildStatusRequest(1),
                                        Settings(1, 0x0001)}));
    EXPECT_TRUE(Wire().IsEmpty());
    ExpectFramesAccountedFor();

    // A slot that was written starts again at the end of the queue.
    FillTheLine();
    const std::size_t again = Written().size();
    link->QueueSettingsFrame(0, Settings(0, 0x0005));
    link->QueueSettingsFrame(3, Settings(3, 0x0005));
    link->QueueSettingsFrame(0, Settings(0, 0x0006));
    link->FlushWire();
    EXPECT_EQ(WrittenFrom(again), (std::vector<std::string>{Settings(0, 0x0006), Settings(3, 0x0005)}));
    // Not a channel: nothing queued, nothing written.
    link->QueueSettingsFrame(kMaxChannels, Settings(0, 0x0007));
    EXPECT_TRUE(Wire().IsEmpty());
    EXPECT_EQ(Written().size(), again + 2);
}

// The polling's status requests go out every tick: a value is on the wire
// once its settings frame has left, whatever request follows it.
TEST_F(WireQueueTest, SettingsAreOnTheWireOnceTheirFramesHaveLeftWhateverRequestFollows)
{
    link->QueueSettingsFrame(1, Settings(1, 0x0300));
    link->QueueStatusRequest(BuildStatusRequest(0));
    clock.Advance(kFrameTime - 1ns);
    EXPECT_FALSE(Wire().SettingsOnWire());
    clock.Advance(1ns);
    EXPECT_TRUE(Wire().SettingsOnWire());
    EXPECT_FALSE(Wire().IsDrained());

    // A frame still queued behind a full line is not on the wire yet.
    clock.AdvanceMs(100);
    FillTheLine();
    link->QueueSettingsFrame(3, Settings(3, 0x0300));
    clock.Advance(Wire().Backlog());
    EXPECT_FALSE(Wire().SettingsOnWire());
    link->PumpWire();
    clock.Advance(kFrameTime - 1ns);
    EXPECT_FALSE(Wire().SettingsOnWire());
    clock.Advance(1ns);
    EXPECT_TRUE(Wire().SettingsOnWire());
    EXPECT_TRUE(Wire().IsDrained());
}

TEST_F(WireQueueTest, AFrameLeavesOnlyWhileLessThanFiftyMillisecondsAreAhead)
{
    const Nanos start = clock.Now();
    for (int ch = 0; ch < 4; ++ch)
        link->QueueSettingsFrame(ch, Settings(ch, 0x0100));
    // 0, 24 and 48 ms ahead: three go; the fourth would find 72 ms.
    EXPECT_EQ(Written().size(), 3u);
    EXPECT_EQ(Wire().Backlog(), 3 * kFrameTime);
    EXPECT_EQ(Wire().DrainTime(), start + 4 * kFrameTime);

    clock.AdvanceMs(21);
    link->PumpWire();
    EXPECT_EQ(Written().size(), 3u) << "50.9 ms are still ahead";
    clock.AdvanceMs(1);
    link->PumpWire();
    EXPECT_EQ(Written().size(), 4u);
    // The line never idled, so the estimate is unchanged.
    EXPECT_EQ(Wire().DrainTime(), start + 4 * kFrameTime);
    EXPECT_LE(Wire().Counters().longestBacklog, WireQueue::kBacklogLimit + kFrameTime);

    // Drained once the last byte has left, not a nanosecond earlier.
    clock.Advance(start + 4 * kFrameTime - clock.Now() - 1ns);
    EXPECT_FALSE(Wire().IsDrained());
    clock.Advance(1ns);
    EXPECT_TRUE(Wire().IsDrained());
    EXPECT_EQ(Wire().Backlog(), 0ns);

    // An idle line lets the next frame go at once; the estimate starts from
    // now, not from the end of the earlier burst.
    clock.AdvanceMs(500);
    link->QueueSettingsFrame(0, Settings(0, 0x0200));
    EXPECT_EQ(Written().size(), 5u);
    EXPECT_EQ(Wire().DrainTime(), clock.Now() + kFrameTime);

    const WireCounters& c = Wire().Counters();
    EXPECT_EQ(c.framesWritten, 5u);
    EXPECT_EQ(c.bytesWritten, 5u * kSettingsFrameLength);
    EXPECT_EQ(c.lineBusy, 5 * kFrameTime);
}

TEST_F(WireQueueTest, ExchangeWritesCountAndNeverOvertakeQueuedFrames)
{
    // An exchange's request takes the line's time like any frame.
    link->SendText(LinkSerial, std::string(3 * kSettingsFrameLength, 'x'));
    EXPECT_EQ(Wire().Backlog(), WireQueue::TransmitTime(3 * kSettingsFrameLength));
    link->QueueSettingsFrame(0, Settings(0, 0x0100));
    link->QueueSettingsFrame(1, Settings(1, 0x0101));
    link->QueueStatusRequest(BuildStatusRequest(1));
    EXPECT_EQ(Wire().PendingFrames(), 3u);

    // The version exchange sends only after the queued frames, whatever the
    // budget says; the first three writes the script sees are theirs.
    const std::size_t before = Written().size();
    Script(*serial, {{}, {}, {}, {Chunk{"VER01.00A\r\n", 30}}});
    std::string version;
    ASSERT_TRUE(link->QueryVersion(LinkSerial, version));
    EXPECT_EQ(WrittenFrom(before),
              (std::vector<std::string>{Settings(0, 0x0100), Settings(1, 0x0101), BuildStatusRequest(1),
                                        BuildVersionQuery()}));
    EXPECT_TRUE(Wire().IsEmpty());
    EXPECT_EQ(Wire().Counters().otherWrites, 2u);
    ExpectFramesAccountedFor();
}

TEST_F(WireQueueTest, ClosingThePortWritesEverythingQueuedFirst)
{
    // What the channel took while it was open.
    auto whileOpen = std::make_shared<std::vector<std::string>>();
    serial->SetResponder([whileOpen](const std::string& w) {
        whileOpen->push_back(w);
        return Replies{};
    });
    FillTheLine();
    // The outputs written off on the way out.
    link->QueueSettingsFrame(0, Settings(0, 0x0000));
    link->QueueSettingsFrame(1, Settings(1, 0x0000));
    link->Disconnect();
    EXPECT_FALSE(link->IsConnected());
    ASSERT_EQ(whileOpen->size(), 5u);
    EXPECT_EQ((*whileOpen)[3], Settings(0, 0x0000));
    EXPECT_EQ((*whileOpen)[4], Settings(1, 0x0000));
    EXPECT_TRUE(Wire().IsEmpty());

    // Not connected, a frame goes to the channel at once, as it always did,
    // and takes no time on a line that is not there.
    const Nanos drained = Wire().DrainTime();
    link->QueueSettingsFrame(2, Settings(2, 0x0000));
    EXPECT_EQ(Written().back(), Settings(2, 0x0000));
    EXPECT_TRUE(Wire().IsEmpty());
    EXPECT_EQ(Wire().DrainTime(), drained);

    // A program that ends with frames queued: the link's end writes them.
    ASSERT_TRUE(link->Connect());
    clock.AdvanceMs(200);
    FillTheLine();
    link->QueueSettingsFrame(3, Settings(3, 0x0300));
    whileOpen->clear();
    link.reset();
    EXPECT_EQ(*whileOpen, std::vector<std::string>{Settings(3, 0x0300)});
}

TEST_F(WireQueueTest, ChangesFasterThanTheLineEndWithTheLatestOfEachChannel)
{
    // Two channels changed every millisecond for two seconds, the line
    // pumped on every change and every 50 ms tick, as the session does.
    const Nanos start = clock.Now();
    std::uint16_t last[2] = {};
    for (int ms = 1; ms <= 2000; ++ms) {
        clock.AdvanceMs(1);
        const int ch = ms % 3 == 0 ? 1 : 0;
        last[ch] = static_cast<std::uint16_t>(ms);
        link->QueueSettingsFrame(ch, Settings(ch, last[ch]));
        if (ms % 50 == 0)
            link->PumpWire();
        EXPECT_LE(Wire().PendingFrames(), 2u);
    }
    const Nanos lastChange = clock.Now();
    while (!Wire().IsEmpty()) {
        clock.AdvanceMs(50);
        link->PumpWire();
    }
    // The last frame of each channel carries its last value, and it left
    // within one budget and two frames of the last change.
    const std::vector<std::string> written = Written();
    for (int ch = 0; ch < 2; ++ch) {
        const std::string want = Settings(ch, last[ch]);
        const auto it = std::find_if(written.rbegin(), written.rend(),
                                     [ch](const std::string& f) { return f[2] == static_cast<char>('1' + ch); });
        ASSERT_NE(it, written.rend());
        EXPECT_EQ(*it, want) << "channel " << ch + 1;
    }
    // Both left by the second tick after the last change.
    EXPECT_LE(serial->writes.back().at - lastChange, 100ms);

    // The line was kept busy, and never given more than the budget plus a
    // frame.
    const WireCounters& c = Wire().Counters();
    EXPECT_GE(c.lineBusy, (lastChange - start) * 95 / 100);
    EXPECT_LE(c.longestBacklog, WireQueue::kBacklogLimit + kFrameTime);
    EXPECT_GT(c.framesReplaced, 1500u);
    EXPECT_EQ(c.bytesWritten, c.framesWritten * kSettingsFrameLength);
    ExpectFramesAccountedFor();
}

TEST_F(WireQueueTest, TheValuesAreOnTheWireWhateverPollsFollowThem)
{
    link->QueueSettingsFrame(0, Settings(0, 0x0100));
    link->QueueSettingsFrame(1, Settings(1, 0x0100));
    EXPECT_FALSE(Wire().SettingsOnWire());
    // A poll every tick keeps the line from ever being drained; the values
    // were out all the same once their last byte left.
    for (int tick = 0; tick < 4; ++tick) {
        clock.AdvanceMs(50);
        link->QueueStatusRequest(BuildStatusRequest(0));
        EXPECT_FALSE(Wire().IsDrained());
        EXPECT_TRUE(Wire().SettingsOnWire());
    }
    // A settings frame waiting behind a full line is not on the wire yet.
    clock.AdvanceMs(50);
    FillTheLine();
    link->QueueSettingsFrame(3, Settings(3, 0x0200));
    EXPECT_FALSE(Wire().SettingsOnWire());
    while (Wire().PendingFrames() > 0) {
        clock.AdvanceMs(1);
        link->PumpWire();
    }
    EXPECT_FALSE(Wire().SettingsOnWire()) << "handed over, but its bytes are still on their way";
    clock.Advance(Wire().DrainTime() - clock.Now() - 1ns);
    EXPECT_FALSE(Wire().SettingsOnWire());
    clock.Advance(1ns);
    EXPECT_TRUE(Wire().SettingsOnWire());
}
