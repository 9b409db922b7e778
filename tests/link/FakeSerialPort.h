#pragma once
// A serial port whose received side is fed by the test. Read blocks the
// channel's reader thread like the real port does; WaitIdle lets the test
// know that everything fed has been through the reader into the ring.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace velmora::test {

// The test's side of the line: what the port receives, and what it saw.
struct FakeSerialLine {
    std::mutex mutex;
    std::condition_variable cv;
    // What the next Reads return, in order.
    std::deque<SerialRead> reads;
    std::deque<std::string> readBytes;
    bool interrupted = false;
    bool blockedInRead = false;
    bool gone = false;
    int readsAfterGone = 0;
    int opens = 0;
    int closes = 0;
    bool openResult = true;
    SerialError openError = SerialError::None;
    std::string openErrorText;
    std::string lastPath;
    std::string written;

    // Feeds received bytes, with line faults that follow them.
    void Feed(std::string bytes, std::uint8_t lineErrors = 0)
    {
        std::lock_guard lock(mutex);
        reads.push_back({SerialRead::Status::Data, bytes.size(), lineErrors});
        readBytes.push_back(std::move(bytes));
        cv.notify_all();
    }
    void PullCable()
    {
        std::lock_guard lock(mutex);
        reads.push_back({SerialRead::Status::Gone});
        readBytes.emplace_back();
        cv.notify_all();
    }
    // True once the reader took everything fed and is back waiting in Read
    // (so it has stored the previous read in the ring).
    bool WaitIdle()
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [this] { return reads.empty() && blockedInRead; });
    }
    std::string Written()
    {
        std::lock_guard lock(mutex);
        return written;
    }
};

class FakeSerialPort final : public SerialPort {
public:
    explicit FakeSerialPort(FakeSerialLine& s) : m_s(s) { }

    bool Open(const std::string& path) override
    {
        std::lock_guard lock(m_s.mutex);
        ++m_s.opens;
        m_s.lastPath = path;
        m_bOpen = m_s.openResult;
        m_error = m_s.openError;
        m_strError = m_s.openErrorText;
        return m_bOpen;
    }
    void Close() override
    {
        std::lock_guard lock(m_s.mutex);
        ++m_s.closes;
        m_bOpen = false;
    }
    bool IsOpen() const override { return m_bOpen; }

    SerialRead Read(std::span<std::uint8_t> buffer) override
    {
        std::unique_lock lock(m_s.mutex);
        if (m_s.gone)
            ++m_s.readsAfterGone;
        m_s.blockedInRead = true;
        m_s.cv.notify_all();
        m_s.cv.wait(lock, [this] { return !m_s.reads.empty() || m_s.interrupted || m_s.gone; });
        m_s.blockedInRead = false;
        if (m_s.interrupted) {
            m_s.interrupted = false;
            return {SerialRead::Status::Interrupted};
        }
        if (m_s.gone)
            return {SerialRead::Status::Gone};
        SerialRead r = m_s.reads.front();
        std::string bytes = std::move(m_s.readBytes.front());
        m_s.reads.pop_front();
        m_s.readBytes.pop_front();
        if (r.status == SerialRead::Status::Gone) {
            m_s.gone = true;
            return r;
        }
        // Tests feed chunks no larger than a read takes.
        r.count = std::min(bytes.size(), buffer.size());
        std::copy_n(bytes.begin(), r.count, buffer.begin());
        return r;
    }
    void Interrupt() override
    {
        std::lock_guard lock(m_s.mutex);
        m_s.interrupted = true;
        m_s.cv.notify_all();
    }
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        std::lock_guard lock(m_s.mutex);
        m_s.written.append(bytes.begin(), bytes.end());
        return true;
    }
    SerialError LastError() const override { return m_error; }
    std::string LastErrorText() const override { return m_strError; }

private:
    FakeSerialLine& m_s;
    bool m_bOpen = false;
    SerialError m_error = SerialError::None;
    std::string m_strError;
};

} // namespace velmora::test
