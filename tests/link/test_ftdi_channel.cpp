// The FTDI channel: its line rules over a scripted device, and the binding
// with no device that stands in until the library is bound.

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "link/FtdiChannel.h"
#include "support/FakeClock.h"

namespace velmora::test {
namespace {

// Hands out scripted chunks, one per Read, cut to what the read asks for.
class ScriptedFtdiDevice final : public FtdiDevice {
public:
    explicit ScriptedFtdiDevice(std::deque<std::string>& chunks) : m_chunks(chunks) {}
    bool Open() override { return m_bOpen = true; }
    void Close() override { m_bOpen = false; }
    bool IsOpen() const override { return m_bOpen; }
    int Read(std::span<std::uint8_t> buffer) override
    {
        if (m_chunks.empty())
            return 0;
        std::string& c = m_chunks.front();
        const std::size_t n = std::min(c.size(), buffer.size());
        std::copy_n(c.begin(), n, buffer.begin());
        c.erase(0, n);
        if (c.empty())
            m_chunks.pop_front();
        return static_cast<int>(n);
    }
    void Write(std::span<const std::uint8_t>) override {}
    bool WaitForData(Clock&, Nanos) override { return !m_chunks.empty(); }

private:
    std::deque<std::string>& m_chunks;
    bool m_bOpen = false;
};

class FtdiChannelTest : public ::testing::Test {
protected:
    FtdiChannelTest() : channel(std::make_unique<ScriptedFtdiDevice>(chunks)) { EXPECT_TRUE(channel.Open()); }

    std::deque<std::string> chunks;
    FtdiChannel channel;
    LineBuffer buf;
};

TEST_F(FtdiChannelTest, RunningEmptyMidLineIsNoneAndAnEmptyRingOnEntryIsPartial)
{
    chunks = {"VER", "", " 1.00\r\n"};
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
    EXPECT_EQ(buf.pos, 3);
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LinePartial);
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "VER 1.00\r\n");
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
}

TEST_F(FtdiChannelTest, EachCallReadsAtMost100BytesFromTheDevice)
{
    chunks = {std::string(150, 'a') + "\r\n"};
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
    EXPECT_EQ(buf.pos, 100);
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.length, 152);
}

TEST_F(FtdiChannelTest, LinesAfterTheFirstWaitInTheRing)
{
    chunks = {"CH 2\r\nA\x02\x03\r\n"};
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "CH 2\r\n");
    FakeClock clock;
    EXPECT_TRUE(channel.WaitForInput(clock, clock.Now()));
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "A\x02\x03\r\n");
}

TEST_F(FtdiChannelTest, ALineThatReaches512BytesIsDiscarded)
{
    for (int i = 0; i < 6; ++i)
        chunks.push_back(std::string(100, 'x'));
    LineResult r = LineResult::LineNone;
    for (int i = 0; i < 6 && r != LineResult::LineDiscarded; ++i)
        r = channel.ReadLine(buf);
    EXPECT_EQ(r, LineResult::LineDiscarded);
    EXPECT_EQ(buf.pos, 0);
}

TEST_F(FtdiChannelTest, ReopeningDropsWhatWasLeftInTheRing)
{
    chunks = {"OLD\r\nSTALE"};
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    channel.Close();
    ASSERT_TRUE(channel.Open());
    buf.pos = 0;
    chunks = {"NEW\r\n"};
    ASSERT_EQ(channel.ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "NEW\r\n");
}

TEST(NoFtdiDevice, NeverOpensAndWaitsOutTheDeadline)
{
    FtdiChannel channel;
    EXPECT_FALSE(channel.Open());
    EXPECT_FALSE(channel.IsOpen());
    const std::string ver = "VER\r\n";
    channel.Write(std::span(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size()));
    LineBuffer buf;
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
    FakeClock clock;
    const Nanos deadline = clock.Now() + std::chrono::milliseconds(500);
    EXPECT_FALSE(channel.WaitForInput(clock, deadline));
    EXPECT_EQ(clock.Now(), deadline);
}

} // namespace
} // namespace velmora::test
