#pragma once
// An in-process byte channel driven by a FakeClock. Whatever the code under
// test writes goes to a responder, which answers with byte chunks due after a
// delay; WaitForInput delivers the first chunk due before its deadline and
// moves the clock to that moment, so exchanges run in no real time.

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "link/ByteChannel.h"
#include "link/ReceiveRing.h"

namespace velmora::test {

class FakeChannel final : public ByteChannel {
public:
    struct Chunk {
        std::string bytes;
        long long delayMs = 0;
        std::uint8_t rxErrors = 0; // receive error flags raised when the chunk lands
    };
    using Responder = std::function<std::vector<Chunk>(const std::string& written)>;

    explicit FakeChannel(FakeClock& clock) : m_clock(clock) { }

    void SetResponder(Responder r) { m_responder = std::move(r); }
    void SetOpenResult(bool ok) { m_bOpenResult = ok; }

    // Input that arrives without being asked for (an announcement, noise).
    void Inject(std::string bytes, long long delayMs = 0, std::uint8_t rxErrors = 0)
    {
        m_pending.push_back({m_clock.Now() + std::chrono::milliseconds(delayMs), std::move(bytes), rxErrors});
    }

    bool Open() override
    {
        ++opens;
        if (m_bOpenResult)
            m_bOpen = true;
        return m_bOpen;
    }
    void Close() override { m_bOpen = false; }
    bool IsOpen() const override { return m_bOpen; }

    void Write(std::span<const std::uint8_t> bytes) override
    {
        std::string w(bytes.begin(), bytes.end());
        writes.push_back({m_clock.Now(), w});
        if (!m_responder || !m_bOpen)
            return;
        for (auto& c : m_responder(w))
            m_pending.push_back({m_clock.Now() + std::chrono::milliseconds(c.delayMs), std::move(c.bytes), c.rxErrors});
    }

    LineResult ReadLine(LineBuffer& line) override
    {
        DeliverDue(m_clock.Now());
        return AssembleSerialLine(m_ring, line);
    }

    bool WaitForInput(Clock&, Nanos deadline) override
    {
        if (!m_ring.Empty() || m_ring.HasErrors())
            return true;
        Nanos first = deadline;
        bool any = false;
        for (auto& p : m_pending)
            if (p.due <= first) {
                first = p.due;
                any = true;
            }
        // Goes through the clock so that its wait counting and hooks apply.
        WakeEvent ev;
        if (any) {
            if (first > m_clock.Now())
                m_clock.Advance(first - m_clock.Now());
            DeliverDue(m_clock.Now());
            return true;
        }
        return m_clock.WaitUntil(ev, deadline);
    }

    struct Written {
        Nanos at;
        std::string bytes;
    };
    std::vector<Written> writes;
    int opens = 0;

private:
    struct Pending {
        Nanos due;
        std::string bytes;
        std::uint8_t rxErrors;
    };

    void DeliverDue(Nanos now)
    {
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->due <= now) {
                for (char c : it->bytes)
                    m_ring.Push(static_cast<std::uint8_t>(c));
                if (it->rxErrors)
                    m_ring.RaiseErrors(it->rxErrors);
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
    }

    FakeClock& m_clock;
    Responder m_responder;
    std::deque<Pending> m_pending;
    ReceiveRing<512> m_ring;
    bool m_bOpen = false;
    bool m_bOpenResult = true;
};

} // namespace velmora::test
