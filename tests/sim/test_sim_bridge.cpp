// The simulated bridge's timing: bytes cross the wire at the line rate and
// reach the host a packet at a time, when 62 have gathered or when the
// latency timer runs out; D2XX and libftdi reads wait on it as theirs do.
#include <gtest/gtest.h>

#include "SimBridge.h"
#include "support/FakeClock.h"

using namespace velmora;
using namespace velmora::sim;
using velmora::test::FakeClock;
using namespace std::chrono_literals;

namespace {

struct Rig {
    FakeClock clock;
    SimBridge bridge{clock};

    Rig() : start(clock.Now())
    {
        bridge.SetTiming(true);
        bridge.SetLatencyTimer(5);
        EXPECT_TRUE(bridge.OpenBySerial("VK2A0001"));
    }
    void Send(std::string_view text)
    {
        bridge.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    // Times count from the rig's start.
    void At(Nanos t) { clock.Advance(start + t - clock.Now()); }
    Nanos Since() const { return clock.Now() - start; }
    Nanos NextHandover()
    {
        const std::optional<Nanos> t = bridge.NextHandover();
        return t ? *t - start : Nanos(-1);
    }

    Nanos start;
};

} // namespace

TEST(SimBridge, BytesWaitForTheLatencyTimerOrAFullPacket)
{
    Rig rig;
    // "VER\r\n" takes 5 byte times at 19,200 bit/s (2.604 ms) to be heard,
    // and the 11-byte answer one byte time a byte after that. The latency
    // timer starts with the first byte, so at 8.125 ms (to rounding) the ten that are in
    // by then go up together and the last waits its own 5 ms.
    rig.Send("VER\r\n");
    rig.At(8'120us);
    EXPECT_EQ(rig.bridge.Available(), 0u);
    EXPECT_NEAR(rig.NextHandover().count(), 8'125'000, 1000);
    rig.At(8'130us);
    EXPECT_EQ(rig.bridge.Available(), 10u);
    rig.At(13'330us);
    EXPECT_EQ(rig.bridge.Available(), 10u);
    rig.At(13'340us);
    const std::vector<std::uint8_t> all = rig.bridge.Read(100);
    EXPECT_EQ(std::string(all.begin(), all.end()), "VER01.00A\r\n");

    // With a long latency timer a burst goes up as soon as 62 bytes of it
    // are in: 8 answers of 11 bytes, the 62nd in after about 35 ms.
    const Nanos start = rig.Since();
    rig.bridge.SetLatencyTimer(255);
    std::string tables;
    for (int i = 0; i < 8; ++i)
        tables += "VER\r\n";
    rig.Send(tables);
    rig.At(start + 30ms);
    EXPECT_EQ(rig.bridge.Available(), 0u);
    rig.At(start + 62ms);
    EXPECT_EQ(rig.bridge.Available(), 62u);
}

TEST(SimBridge, ReadsWaitAsTheirLibrariesDo)
{
    {
        // A D2XX read of more than will come waits out its time-out; one of
        // a single byte returns as soon as it is there.
        Rig rig;
        rig.Send("VER\r\n");
        EXPECT_EQ(rig.bridge.ReadWithin(100, 5ms).size(), 0u);
        EXPECT_EQ(rig.Since(), Nanos(5ms));
        EXPECT_EQ(rig.bridge.ReadWithin(1, 5ms).size(), 1u);
        EXPECT_NEAR(rig.Since().count(), 8'125'000, 1000);
    }
    {
        // A libftdi read with nothing there waits for the next packet, but
        // never longer than one latency period.
        Rig rig;
        EXPECT_EQ(rig.bridge.ReadPacket(100).size(), 0u);
        EXPECT_EQ(rig.Since(), Nanos(5ms));
        rig.Send("VER\r\n");
        EXPECT_EQ(rig.bridge.ReadPacket(100).size(), 0u);
        EXPECT_EQ(rig.bridge.ReadPacket(100).size(), 10u);
        EXPECT_NEAR(rig.Since().count(), 13'125'000, 1000);
    }
    {
        // Without timing a read waits only when nothing is there at all.
        FakeClock clock;
        SimBridge bridge{clock};
        const Nanos start = clock.Now();
        ASSERT_TRUE(bridge.OpenBySerial("VK2A0001"));
        const std::string ver = "VER\r\n";
        bridge.Write(std::span(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size()));
        EXPECT_EQ(bridge.ReadWithin(100, 5ms).size(), 11u);
        EXPECT_EQ(clock.Now(), start);
    }
}
