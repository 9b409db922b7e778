// Bytes a misbehaving microcontroller sends back in boot mode, fed to the
// whole boot-mode programming as its replies, one byte a read, on a clock
// that only moves when the programming waits. Whatever the bytes, the
// programming must end (the operator cancels once the bytes are spent) and
// may claim success only with every block read back as the image has it.
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "FuzzTarget.h"
#include "SimBootMcu.h"
#include "firmware/BootCommands.h"
#include "firmware/BootProgrammer.h"
#include "firmware/ImageFile.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"

using namespace velmora;

namespace {

class StepClock final : public Clock {
public:
    Nanos Now() const override { return m_now; }
    bool WaitUntil(WakeEvent& wake, Nanos deadline) override
    {
        if (wake.TryTake())
            return true;
        m_now = std::max(m_now, deadline);
        return false;
    }
    void SleepFor(Nanos d) override { m_now += d; }

private:
    Nanos m_now{0};
};

// The image programmed: one record, so that it is not blank. The file goes
// when the process ends.
struct ImageFile {
    std::string path = "/tmp/velmora-fuzz-boot-" + std::to_string(::getpid()) + ".zpg";
    ImageFile()
    {
        (void)WriteFileAtomically(path, EncodeImageFile({1, 2, 3}, {EncodeImageRecord("S306FFFE000012EA")}));
    }
    ~ImageFile() { ::unlink(path.c_str()); }
};

const std::string& ImagePath()
{
    static const ImageFile image;
    return image.path;
}

// Replies from `bytes`, one a read; once they are spent nothing more comes
// and the operator cancels. With `mcu` the replies come from the simulated
// microcontroller instead and are kept (for the seeds).
class StreamTransport final : public BootTransport, public ProgramObserver {
public:
    StreamTransport(std::string_view bytes, Clock& clock, sim::SimBootMcu* mcu = nullptr)
        : m_bytes(bytes),
          m_clock(clock),
          m_pMcu(mcu)
    {
    }

    bool IsOpen() const override { return true; }
    bool OpenUnit() override { return true; }
    void CloseUnit() override { }
    void SetUnitBaudRate(std::uint32_t rate) override
    {
        if (m_pMcu != nullptr)
            m_pMcu->SetHostRate(rate);
    }
    void Write(std::span<const std::uint8_t> bytes) override
    {
        if (m_pMcu != nullptr)
            m_pMcu->Receive(bytes);
    }
    BootByte ReadByte(std::uint8_t& byte) override
    {
        if (m_pMcu != nullptr && m_pMcu->HasReply()) {
            byte = m_pMcu->TakeReply();
            recorded += static_cast<char>(byte);
            return BootByte::Byte;
        }
        if (m_pMcu == nullptr && m_pos < m_bytes.size()) {
            byte = static_cast<std::uint8_t>(m_bytes[m_pos++]);
            return BootByte::Byte;
        }
        m_bSpent = true;
        m_clock.SleepFor(std::chrono::milliseconds(5));
        return BootByte::None;
    }
    void Drain() override { }
    void ResetIntoBootMode() override
    {
        if (m_pMcu != nullptr) {
            m_pMcu->EnterBootMode();
            m_pMcu->SetHostRate(kBootStartRate);
        }
    }
    void ResetIntoRunMode() override { }
    std::optional<std::string> QueryVersion() override { return std::nullopt; }

    void SetProgress(int) override { }
    void SetStatus(const std::string&) override { }
    void EnableCancel(bool) override { }
    void LetEventsRun() override { }
    bool CancelRequested() const override { return m_bSpent; }
    void ClearCancel() override { }

    std::string recorded;

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
    Clock& m_clock;
    sim::SimBootMcu* m_pMcu;
    bool m_bSpent = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    StepClock clock;
    StreamTransport t(std::string_view(reinterpret_cast<const char*>(data), size), clock);
    fuzz::QuietPrompter prompter;
    const ProgramResult r = ProgramUnit(ImagePath(), t, t, prompter, clock);
    // Success needs all 512 read-back replies of 261 bytes, and more.
    if (r.ok && size < 512u * 261u)
        std::abort();
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    // What a well-behaved device answers, cut at a few places.
    StepClock clock;
    sim::SimBootMcu mcu;
    StreamTransport t({}, clock, &mcu);
    fuzz::QuietPrompter prompter;
    (void)ProgramUnit(ImagePath(), t, t, prompter, clock);
    const std::string& all = t.recorded;
    return {all.substr(0, 64), all.substr(0, 600), all.substr(0, 4000), std::string(1, '\0'), std::string()};
}
