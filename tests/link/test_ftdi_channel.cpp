// The FTDI channel: its line rules over a scripted device, and the binding
// with no device that stands in until the library is bound.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/FtdiChannel.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"

namespace velmora::test {
namespace {

// Hands out scripted chunks, one per Read, cut to what the read asks for,
// and notes every other call with the fake clock's time.
class ScriptedFtdiDevice final : public FtdiDevice {
public:
    ScriptedFtdiDevice(std::deque<std::string>& chunks, FakeClock& clock) : m_chunks(chunks), m_clock(clock) { }
    bool Loaded() const override { return true; }
    std::string LibraryName() const override { return "scripted"; }
    FtdiStatus ListDevice(int index, std::string& serial, std::string& description) override
    {
        if (index >= static_cast<int>(devices.size()))
            return FtdiStatus::NoDevice;
        serial = devices[static_cast<std::size_t>(index)].first;
        description = devices[static_cast<std::size_t>(index)].second;
        return FtdiStatus::Ok;
    }
    FtdiStatus OpenBySerial(const std::string& serial) override
    {
        Note("open " + serial);
        m_bOpen =
            present && std::any_of(devices.begin(), devices.end(), [&](const auto& d) { return d.first == serial; });
        return m_bOpen ? FtdiStatus::Ok : FtdiStatus::NoDevice;
    }
    void Close() override
    {
        Note("close");
        m_bOpen = false;
    }
    bool IsOpen() const override { return m_bOpen; }
    void ResetDevice() override { Note("reset"); }
    void SetTimeouts(std::uint32_t r, std::uint32_t w) override
    {
        Note("timeouts " + std::to_string(r) + " " + std::to_string(w));
    }
    void PurgeRx() override { Note("purge"); }
    void SetBitMode(std::uint8_t mask, std::uint8_t mode) override
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "bits %02X %02X", mask, mode);
        Note(buf);
    }
    void SetLatencyTimer(std::uint8_t ms) override { Note("latency " + std::to_string(ms)); }
    void SetBaudRate(std::uint32_t rate) override { Note("baud " + std::to_string(rate)); }
    void SetDivisor(std::uint16_t d) override { Note("divisor " + std::to_string(d)); }
    void SetDataCharacteristics() override { Note("8N1"); }
    FtdiStatus Read(std::span<std::uint8_t> buffer, std::size_t& got) override
    {
        got = 0;
        if (ioError)
            return FtdiStatus::IoError;
        if (m_chunks.empty())
            return FtdiStatus::Ok;
        std::string& c = m_chunks.front();
        got = std::min(c.size(), buffer.size());
        std::copy_n(c.begin(), got, buffer.begin());
        c.erase(0, got);
        if (c.empty())
            m_chunks.pop_front();
        return FtdiStatus::Ok;
    }
    FtdiStatus Write(std::span<const std::uint8_t>) override { return FtdiStatus::Ok; }
    bool WaitForData(Clock&, Nanos) override { return !m_chunks.empty(); }

    std::vector<std::pair<std::string, std::string>> devices;
    bool present = true;
    bool ioError = false;
    // "ms call", the time counted from the clock's start.
    std::vector<std::string> calls;

private:
    void Note(const std::string& what)
    {
        calls.push_back(std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.Now()).count()) +
                        " " + what);
    }

    std::deque<std::string>& m_chunks;
    FakeClock& m_clock;
    bool m_bOpen = false;
};

class FtdiChannelTest : public ::testing::Test {
protected:
    FtdiChannelTest()
    {
        auto d = std::make_unique<ScriptedFtdiDevice>(chunks, clock);
        device = d.get();
        channel = std::make_unique<FtdiChannel>(std::move(d), clock, prompter);
        device->devices = {{"VK2A0001", "Hovelt VKX FT230X"}};
        EXPECT_EQ(channel->CountUnits(), 1);
        EXPECT_TRUE(channel->Open());
        device->calls.clear();
        prompter.busyCount = 0;
        start = clock.Now();
    }
    // The calls since the test began, with their times counted from then.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> out;
        const auto base = std::chrono::duration_cast<std::chrono::milliseconds>(start).count();
        for (const std::string& c : device->calls) {
            const auto space = c.find(' ');
            out.push_back(std::to_string(std::stoll(c.substr(0, space)) - base) + c.substr(space));
        }
        return out;
    }

    std::deque<std::string> chunks;
    FakeClock clock;
    ScriptedPrompter prompter;
    ScriptedFtdiDevice* device = nullptr;
    std::unique_ptr<FtdiChannel> channel;
    Nanos start{};
    LineBuffer buf;
};

TEST_F(FtdiChannelTest, RunningEmptyMidLineIsNoneAndAnEmptyRingOnEntryIsPartial)
{
    chunks = {"VER", "", " 1.00\r\n"};
    EXPECT_EQ(channel->ReadLine(buf), LineResult::LineNone);
    EXPECT_EQ(buf.pos, 3);
    EXPECT_EQ(channel->ReadLine(buf), LineResult::LinePartial);
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "VER 1.00\r\n");
    EXPECT_EQ(channel->ReadLine(buf), LineResult::LineNone);
}

TEST_F(FtdiChannelTest, EachCallReadsAtMost100BytesFromTheDevice)
{
    chunks = {std::string(150, 'a') + "\r\n"};
    EXPECT_EQ(channel->ReadLine(buf), LineResult::LineNone);
    EXPECT_EQ(buf.pos, 100);
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.length, 152);
}

TEST_F(FtdiChannelTest, LinesAfterTheFirstWaitInTheRing)
{
    chunks = {"CH 2\r\nA\x02\x03\r\n"};
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "CH 2\r\n");
    EXPECT_TRUE(channel->WaitForInput(clock, clock.Now()));
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "A\x02\x03\r\n");
}

TEST_F(FtdiChannelTest, ALineThatReaches512BytesIsDiscarded)
{
    for (int i = 0; i < 6; ++i)
        chunks.push_back(std::string(100, 'x'));
    LineResult r = LineResult::LineNone;
    for (int i = 0; i < 6 && r != LineResult::LineDiscarded; ++i)
        r = channel->ReadLine(buf);
    EXPECT_EQ(r, LineResult::LineDiscarded);
    EXPECT_EQ(buf.pos, 0);
}

TEST_F(FtdiChannelTest, ReopeningDropsWhatWasLeftInTheRing)
{
    chunks = {"OLD\r\nSTALE"};
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    channel->Close();
    ASSERT_TRUE(channel->Open());
    buf.pos = 0;
    chunks = {"NEW\r\n"};
    ASSERT_EQ(channel->ReadLine(buf), LineResult::LineComplete);
    EXPECT_EQ(buf.Line(), "NEW\r\n");
}

TEST(NoFtdiDevice, NeverOpensAndWaitsOutTheDeadline)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    FtdiChannel channel(std::make_unique<NoFtdiDevice>(), clock, prompter);
    EXPECT_EQ(channel.CountUnits(), 0);
    EXPECT_FALSE(channel.Device().Loaded());
    EXPECT_EQ(channel.Device().LibraryName(), "libftd2xx.so");
    EXPECT_FALSE(channel.Open());
    EXPECT_FALSE(channel.IsOpen());
    const std::string ver = "VER\r\n";
    channel.Write(std::span(reinterpret_cast<const std::uint8_t*>(ver.data()), ver.size()));
    LineBuffer buf;
    EXPECT_EQ(channel.ReadLine(buf), LineResult::LineNone);
    const Nanos deadline = clock.Now() + std::chrono::milliseconds(500);
    EXPECT_FALSE(channel.WaitForInput(clock, deadline));
    EXPECT_EQ(clock.Now(), deadline);
}

TEST_F(FtdiChannelTest, OnlyTheUnitsBridgesCountAndTheLastOneIsKept)
{
    device->devices = {{"VK2A0001", "Hovelt VKX FT230X"},
                       {"FT12345", "Hovelt VKX FT230X"},
                       {"VK1B0007", "Hovelt VKX FT230X "},
                       {"VK1C0003", "Hovelt VKX FT230X"},
                       {"VK9", "FT230X Basic UART"}};
    EXPECT_EQ(channel->CountUnits(), 2);
    EXPECT_TRUE(channel->LastMatch().found);
    EXPECT_EQ(channel->LastMatch().index, 3);
    EXPECT_EQ(channel->LastMatchSerial(), "VK1C0003");
    EXPECT_EQ(prompter.busyCount, 1);
    EXPECT_EQ(prompter.busyDepth, 0);
    device->devices.clear();
    EXPECT_EQ(channel->CountUnits(), 0);
    EXPECT_FALSE(channel->LastMatch().found);
}

// Another bridge may carry the unit's description, listed before it with
// a serial number of its own: the one counted is the one opened, and with
// nothing counted nothing is opened.
TEST_F(FtdiChannelTest, TheBridgeOpenedIsTheOneWhoseSerialNumberMatched)
{
    device->devices = {{"FT5XK2QA", "Hovelt VKX FT230X"}, {"VK1C0003", "Hovelt VKX FT230X"}};
    ASSERT_EQ(channel->CountUnits(), 1);
    device->calls.clear();
    ASSERT_TRUE(channel->OpenUnit());
    ASSERT_FALSE(device->calls.empty());
    EXPECT_EQ(device->calls.front().substr(device->calls.front().find(' ')), " open VK1C0003");

    device->devices = {{"FT5XK2QA", "Hovelt VKX FT230X"}};
    EXPECT_EQ(channel->CountUnits(), 0);
    device->calls.clear();
    EXPECT_FALSE(channel->OpenUnit());
    EXPECT_FALSE(channel->IsOpen());
    EXPECT_TRUE(device->calls.empty());
}

TEST_F(FtdiChannelTest, OpeningSetsTheLineAndThePinsStepEvery200Ms)
{
    channel->Close();
    device->calls.clear();
    ASSERT_TRUE(channel->OpenUnit());
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"0 open VK2A0001", "0 reset", "0 timeouts 5 5", "0 purge", "0 bits 00 00",
                                        "200 timeouts 5 5", "200 latency 5", "200 baud 19200", "200 8N1"}));
    device->calls.clear();
    start = clock.Now();
    channel->ResetIntoBootMode();
    channel->ResetIntoRunMode();
    channel->SetUnitBaudRate(1'000'000);
    channel->SetUnitBaudRate(115'200);
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"0 bits 33 20", "200 bits 32 20", "400 bits 00 00", "600 bits 31 20",
                                        "800 bits 30 20", "1000 bits 00 00", "1200 divisor 3", "1200 8N1",
                                        "1200 baud 115200", "1200 8N1"}));
    device->present = false;
    channel->Close();
    EXPECT_FALSE(channel->OpenUnit());
}

TEST_F(FtdiChannelTest, BytesOneAtATimeAndAnUnpluggedBridge)
{
    chunks = {"\x06\x46"};
    std::uint8_t b = 0;
    ASSERT_EQ(channel->ReadByte(b), FtdiByte::Byte);
    EXPECT_EQ(b, 0x06);
    ASSERT_EQ(channel->ReadByte(b), FtdiByte::Byte);
    EXPECT_EQ(b, 0x46);
    EXPECT_EQ(channel->ReadByte(b), FtdiByte::None);
    chunks = {"left over"};
    channel->Drain();
    EXPECT_EQ(channel->ReadByte(b), FtdiByte::None);
    device->ioError = true;
    EXPECT_EQ(channel->ReadByte(b), FtdiByte::IoError);
}

} // namespace
} // namespace velmora::test
