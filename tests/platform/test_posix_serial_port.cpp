// The POSIX serial port on a real pseudo-terminal.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/PosixSerialPort.h"
#include "support/PseudoTerminal.h"

namespace velmora::test {
namespace {

std::span<const std::uint8_t> AsBytes(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string AllByteValues()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

// Calls Read on this thread. A watchdog interrupts it if it is still blocked
// after `limit`, so a fault fails the test instead of hanging it.
SerialRead ReadGuarded(SerialPort& port, std::span<std::uint8_t> buffer,
                       std::chrono::seconds limit = std::chrono::seconds(10))
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread dog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, limit, [&] { return done; }))
            port.Interrupt();
    });
    const SerialRead r = port.Read(buffer);
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_all();
    dog.join();
    return r;
}

// Reads until `count` bytes came, with the faults seen on the way.
std::string ReceiveThroughPort(SerialPort& port, std::size_t count, std::uint8_t* faults = nullptr)
{
    std::string got;
    std::vector<std::uint8_t> buffer(512);
    while (got.size() < count) {
        const SerialRead r = ReadGuarded(port, buffer);
        if (r.status != SerialRead::Status::Data)
            break;
        EXPECT_TRUE(r.count > 0 || r.lineErrors != 0);
        got.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(r.count));
        if (faults)
            *faults |= r.lineErrors;
    }
    return got;
}

class PosixSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok()) << "no pseudo-terminal";
        ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastErrorText();
    }

    PseudoTerminal pty;
    PosixSerialPort port;
};

TEST_F(PosixSerialPortTest, OpensRawAt19200With8N1AndFaultsMarked)
{
    EXPECT_EQ(port.LastError(), SerialError::None);
    termios t{};
    ASSERT_TRUE(pty.SlaveSettings(t));
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | IGNPAR | IGNBRK), 0u);
    EXPECT_EQ(t.c_iflag & (PARMRK | INPCK), static_cast<tcflag_t>(PARMRK | INPCK));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(PosixSerialPortTest, EveryByteValueArrivesUnchanged)
{
    // NUL, XON/XOFF, CR, ^C and FF among them: none may be eaten, turned
    // into a signal, translated or taken for a fault mark.
    const std::string all = AllByteValues() + AllByteValues();
    ASSERT_TRUE(pty.Send(all));
    std::uint8_t faults = 0;
    EXPECT_EQ(ReceiveThroughPort(port, all.size(), &faults), all);
    EXPECT_EQ(faults, 0);
}

TEST_F(PosixSerialPortTest, EveryByteValueIsSentUnchanged)
{
    const std::string all = AllByteValues();
    EXPECT_TRUE(port.Write(AsBytes(all)));
    EXPECT_EQ(pty.Receive(all.size()), all);
}

TEST_F(PosixSerialPortTest, ALargeWriteReturnsAtOnceAndTheBlockedReaderFinishesIt)
{
    std::thread reader([this] {
        std::vector<std::uint8_t> buffer(512);
        while (port.Read(buffer).status == SerialRead::Status::Data) { }
    });
    // Far more than the pseudo-terminal buffers, so most of it has to wait.
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 % 251);
    const std::string want = big;
    EXPECT_TRUE(port.Write(AsBytes(big)));
    EXPECT_GT(port.PendingWriteBytes(), 0u);
    // The caller's buffer is free once Write returned.
    big.assign(big.size(), 'X');
    EXPECT_TRUE(pty.Receive(want.size()) == want);
    EXPECT_EQ(port.PendingWriteBytes(), 0u);
    port.Interrupt();
    reader.join();
}

TEST_F(PosixSerialPortTest, ASecondOpenOfTheSameDeviceIsRefusedAsInUse)
{
    PosixSerialPort second;
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(second.LastError(), SerialError::InUse);
    EXPECT_FALSE(second.IsOpen());
    port.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath())) << second.LastErrorText();
}

TEST_F(PosixSerialPortTest, InterruptEndsABlockedRead)
{
    SerialRead r{SerialRead::Status::Data, 99};
    std::thread reader([&] {
        std::vector<std::uint8_t> buffer(512);
        r = port.Read(buffer);
    });
    port.Interrupt();
    reader.join();
    EXPECT_EQ(r.status, SerialRead::Status::Interrupted);
    // The interrupt is used up: bytes are read normally afterwards.
    ASSERT_TRUE(pty.Send("ok"));
    EXPECT_EQ(ReceiveThroughPort(port, 2), "ok");
}

TEST_F(PosixSerialPortTest, AHangUpEndsReadingAndWritingAsGone)
{
    ASSERT_TRUE(pty.Send("last"));
    EXPECT_EQ(ReceiveThroughPort(port, 4), "last");
    SerialRead r;
    std::thread reader([&] {
        std::vector<std::uint8_t> buffer(512);
        r = ReadGuarded(port, buffer);
    });
    pty.CloseMaster();
    reader.join();
    EXPECT_EQ(r.status, SerialRead::Status::Gone);
    EXPECT_EQ(port.LastError(), SerialError::Gone);
    EXPECT_FALSE(port.Write(AsBytes("VER\r\n")));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST(PosixSerialPortOpen, FailuresAreNamed)
{
    PosixSerialPort port;
    EXPECT_FALSE(port.Open("/dev/velmora-no-such-tty"));
    EXPECT_EQ(port.LastError(), SerialError::NotFound);
    EXPECT_NE(port.LastErrorText().find("/dev/velmora-no-such-tty"), std::string::npos);
    EXPECT_FALSE(port.Open(""));
    EXPECT_EQ(port.LastError(), SerialError::NotFound);
    // Not a terminal: refused rather than read as if it were the unit.
    EXPECT_FALSE(port.Open("/dev/null"));
    EXPECT_EQ(port.LastError(), SerialError::NotSerial);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Write(AsBytes("x")));
    EXPECT_EQ(port.LastError(), SerialError::NotOpen);
}

TEST(DevicePathForPort, NamesLiveUnderDevAndPathsStay)
{
    EXPECT_EQ(DevicePathForPort("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForPort("ttyACM12"), "/dev/ttyACM12");
    EXPECT_EQ(DevicePathForPort("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(DevicePathForPort(""), "");
}

} // namespace
} // namespace velmora::test
