#include "firmware/BootProgrammer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "firmware/BootCommands.h"
#include "panelcore/PanelTexts.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

constexpr int kReplyWindowMs = 20;
constexpr int kReplyExpiries = 10;
// More than 23.2 us after each synchronisation byte.
constexpr Nanos kSyncBytePause{23'201};
// An erase area is a handful of blocks; a count beyond this came from a
// garbled reply and would keep the unit erasing for hours.
constexpr std::uint32_t kMaxEraseBlocks = 1024;

struct EraseArea {
    std::uint32_t start = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t blockCount = 0;
};

std::uint32_t Word32(const std::array<std::uint8_t, kBootReplyBuffer>& r, std::size_t at)
{
    return (std::uint32_t{r[at]} << 24) | (std::uint32_t{r[at + 1]} << 16) | (std::uint32_t{r[at + 2]} << 8) |
        std::uint32_t{r[at + 3]};
}

class Programmer {
public:
    Programmer(const std::string& path, BootTransport& t, ProgramObserver& o, Prompter& p, Clock& c, const IdCode& id,
               const std::string& keptNote)
        : m_path(path),
          m_t(t),
          m_o(o),
          m_prompter(p),
          m_clock(c),
          m_id(id),
          m_keptNote(keptNote)
    {
    }

    ProgramResult Run();

private:
    enum class Step {
        Version,
        Ask,
        Open,
        Load,
        BootReset,
        Sync,
        Target,
        BitRate,
        Protection,
        Erase,
        Program,
        Verify,
        Restart,
        Done
    };

    void Send(const BootCommand& command);
    void SendBytewise(const BootCommand& command);
    bool Receive(const BootCommand& command);
    bool Exchange(const BootCommand& command)
    {
        Send(command);
        return Receive(command);
    }
    // Ends with `message` first; a difference, the bridge gone and (past
    // the erase) the kept note follow it on lines of their own.
    ProgramResult ErrorEnding(const std::string& message, const std::optional<ProgramFailure>& difference = {});
    void Message(const std::string& text) { m_prompter.Message(text, kCaptionConfirm, PromptIcon::Exclamation); }

    const std::string& m_path;
    BootTransport& m_t;
    ProgramObserver& m_o;
    Prompter& m_prompter;
    Clock& m_clock;
    const IdCode& m_id;
    const std::string& m_keptNote;

    std::array<std::uint8_t, kBootReplyBuffer> m_reply{};
    bool m_bBytePause = false;
    bool m_bFailureMessage = false;
    bool m_bUnplugged = false;
    bool m_bErasing = false; // from the first erase on, the program memory is not whole
    int m_nProtection = 0;
    std::array<std::uint8_t, 4> m_deviceCode{};
    std::array<EraseArea, 2> m_areas{};
    std::string m_version;
    FirmwareImage m_image;
    Nanos m_programmed{};
};

void Programmer::Send(const BootCommand& command)
{
    m_t.Write(command.bytes);
}

void Programmer::SendBytewise(const BootCommand& command)
{
    for (std::uint8_t b : command.bytes) {
        const std::uint8_t one[1] = {b};
        m_t.Write(one);
        if (m_bBytePause)
            m_clock.SleepFor(kSyncBytePause);
    }
}

bool Programmer::Receive(const BootCommand& command)
{
    if (m_bUnplugged)
        return false;
    // Nothing of an earlier reply may pass for this one's first byte.
    m_reply[0] = static_cast<std::uint8_t>(~command.expected);
    std::size_t index = 0;
    int budget = kReplyExpiries;
    bool ok = true;
    for (int n = 0; n < command.replyLength && ok; ++n) {
        Deadline window(m_clock, kReplyWindowMs);
        for (;;) {
            std::uint8_t b = 0;
            const BootByte r = m_t.ReadByte(b);
            if (r == BootByte::IoError) {
                // The bridge went: every later reply would fail the same
                // way, each with its message. The sequence ends instead.
                m_bUnplugged = true;
                return false;
            }
            if (r == BootByte::Byte) {
                m_reply[index] = b;
                index = (index + 1) % kBootReplyBuffer;
                if (m_reply[0] != command.expected)
                    ok = false;
                break;
            }
            if (window.Expired()) {
                window.Restart();
                if (--budget <= 0) {
                    ok = false;
                    break;
                }
            }
        }
    }
    if (!ok && m_bFailureMessage)
        Message(kMsgBootReplyFailed);
    return ok;
}

ProgramResult Programmer::ErrorEnding(const std::string& message, const std::optional<ProgramFailure>& difference)
{
    // Translated here: the lines added make a text no catalogue holds.
    std::string shown = Tr(message);
    if (difference)
        shown += "\n" + ReadBackText(*difference);
    if (m_bUnplugged)
        shown += "\n" + Tr(std::string(N_("USBブリッジが外れました")));
    if (m_bErasing && !m_keptNote.empty())
        shown += "\n" + m_keptNote;
    Message(shown);
    m_o.SetStatus(N_("キャンセルしました"));
    if (m_t.IsOpen())
        m_t.CloseUnit();
    ProgramResult r;
    r.failure = difference ? *difference : ProgramFailure{};
    r.failure->message = message;
    return r;
}

ProgramResult Programmer::Run()
{
    m_o.ClearCancel();
    Step step = Step::Version;
    for (;;) {
        m_o.LetEventsRun();
        if (m_bUnplugged)
            return ErrorEnding(kMsgBootReplyFailed);
        if (m_o.CancelRequested())
            return ErrorEnding(kMsgCancelledRestart);
        switch (step) {
        case Step::Version: {
            m_o.SetProgress(0);
            const ImageFileResult r = ReadImageVersion(m_path, m_version);
            if (r == ImageFileResult::Bad)
                return ErrorEnding(kMsgImageBad);
            if (r != ImageFileResult::Ok) {
                Message(ImageFileMessage(r));
                ProgramResult out;
                out.failure = ProgramFailure{ImageFileMessage(r), std::nullopt, 0, 0};
                return out;
            }
            step = Step::Ask;
            break;
        }
        case Step::Ask:
            if (m_prompter.Message(N_("更新しますか？"), kCaptionConfirm, PromptIcon::Information,
                                   PromptButtons::OkCancel) != PromptAnswer::Ok)
                return {};
            m_o.SetStatus(N_("更新準備中"));
            step = Step::Open;
            break;
        case Step::Open: {
            m_o.SetProgress(5);
            if (!m_t.IsOpen() && !m_t.OpenUnit())
                return {};
            m_t.Drain();
            const std::optional<std::string> unit = m_t.QueryVersion();
            if (unit && *unit == m_version &&
                m_prompter.Message(N_("発生器とプログラムバージョンが同じです\n再更新しますか？"), kCaptionConfirm,
                                   PromptIcon::Information, PromptButtons::OkCancel) != PromptAnswer::Ok) {
                m_o.SetStatus(N_("キャンセルしました"));
                return {};
            }
            step = Step::Load;
            break;
        }
        case Step::Load:
            // The file was read a moment ago; one that went bad since is no
            // image to program. Nor is one that gives no byte to the program
            // memory (another file, every record damaged): erasing the unit
            // for it would leave it blank, and the read-back would agree.
            if (LoadImage(m_path, m_image) != ImageFileResult::Ok ||
                std::all_of(m_image.begin(), m_image.begin() + kProgrammedBytes,
                            [](std::uint8_t b) { return b == 0xFF; }))
                return ErrorEnding(kMsgImageBad);
            step = Step::BootReset;
            break;
        case Step::BootReset:
            m_o.SetStatus(N_("発生器を再起動しています"));
            m_t.ResetIntoBootMode();
            m_clock.SleepFor(std::chrono::milliseconds(51));
            step = Step::Sync;
            break;
        case Step::Sync: {
            m_o.SetStatus(N_("ビットレート自動調整中"));
            m_bBytePause = true;
            m_t.Drain();
            BootCommand sync{std::vector<std::uint8_t>(kSyncBytes, 0x00), 1, 0x00};
            SendBytewise(sync);
            if (!Receive(sync)) {
                // No answer: the device was not in boot mode; restart it.
                step = Step::BootReset;
                break;
            }
            m_bBytePause = false;
            m_bFailureMessage = true;
            SendBytewise(SyncConfirm());
            Receive(SyncConfirm());
            step = Step::Target;
            break;
        }
        case Step::Target:
            m_o.SetStatus(N_("ターゲットMCU確定中"));
            Exchange(DeviceInquiry());
            std::copy(m_reply.begin() + 4, m_reply.begin() + 8, m_deviceCode.begin());
            Exchange(DeviceSelection(m_deviceCode));
            Exchange(EraseAreaInquiry());
            for (std::size_t a = 0; a < 2; ++a)
                m_areas[a] = {Word32(m_reply, 4 + 12 * a), Word32(m_reply, 8 + 12 * a), Word32(m_reply, 12 + 12 * a)};
            step = Step::BitRate;
            break;
        case Step::BitRate:
            Exchange(NewBitRate());
            m_t.SetUnitBaudRate(kBootFastRate);
            Exchange(BitRateConfirmation());
            step = Step::Protection;
            break;
        case Step::Protection: {
            m_o.SetStatus(N_("ID コードプロテクト判定中"));
            m_bFailureMessage = false;
            if (Exchange(StateTransition()))
                m_nProtection = 0;
            else if (m_reply[0] == 0x16)
                m_nProtection = 1;
            else if (m_reply[0] == 0x56)
                m_nProtection = 2;
            else
                return ErrorEnding(kMsgTransitionError);
            if (m_nProtection == 1) {
                std::array<std::uint8_t, 16> id{};
                for (std::size_t w = 0; w < 4; ++w)
                    for (std::size_t b = 0; b < 4; ++b)
                        id[4 * w + b] = static_cast<std::uint8_t>(m_id[w] >> (24 - 8 * b));
                if (Exchange(IdCodeCheck(id)))
                    m_nProtection = 0;
                else if (m_reply[0] == 0x56)
                    m_nProtection = 2;
                else
                    return ErrorEnding(kMsgIdCodeError);
            }
            m_bFailureMessage = true;
            step = Step::Erase;
            break;
        }
        case Step::Erase: {
            m_o.SetProgress(10);
            m_o.SetStatus(N_("メモリ消去中"));
            m_bErasing = true;
            Exchange(EraseSelection());
            const std::size_t areas = m_nProtection == 2 ? 2 : 1;
            for (std::size_t a = 0; a < areas; ++a) {
                const EraseArea& area = m_areas[a];
                const std::uint32_t count = std::min(area.blockCount, kMaxEraseBlocks);
                for (std::uint32_t j = 0; j < count && !m_bUnplugged; ++j)
                    Exchange(BlockErase(area.start + j * area.blockSize));
            }
            Exchange(EndOfErase());
            step = Step::Program;
            break;
        }
        case Step::Program:
            m_o.SetStatus(N_("プログラム転送中"));
            Exchange(StatusInquiry());
            Exchange(ProgrammingSelection());
            for (int i = 0; i < kBootBlocks && !m_bUnplugged; ++i) {
                m_o.SetProgress(10 + i / 11);
                const auto at = static_cast<std::size_t>(i) * kBootBlockBytes;
                Exchange(ProgramBlock(kBootFirstAddress + static_cast<std::uint32_t>(at),
                                      std::span<const std::uint8_t>(m_image).subspan(at, kBootBlockBytes)));
            }
            step = Step::Verify;
            break;
        case Step::Verify:
            m_o.SetStatus(N_("プログラム書込中"));
            Exchange(EndOfProgramming());
            m_o.SetStatus(N_("プログラム照合中"));
            for (int i = 0; i < kBootBlocks; ++i) {
                m_o.SetProgress(60 + i / 14);
                const auto at = static_cast<std::size_t>(i) * kBootBlockBytes;
                const std::uint32_t address = kBootFirstAddress + static_cast<std::uint32_t>(at);
                // A block that did not come back is no more verified than
                // one that came back different.
                const bool came = Exchange(ReadBlock(address));
                if (m_bUnplugged)
                    break;
                for (std::size_t k = 0; k < kBootBlockBytes; ++k) {
                    const std::uint8_t found = m_reply[5 + k];
                    if (!came || found != m_image[at + k])
                        return ErrorEnding(
                            kMsgMemoryReadError,
                            ProgramFailure{{}, address + static_cast<std::uint32_t>(k), m_image[at + k], found});
                }
            }
            if (m_bUnplugged)
                break;
            m_programmed = m_clock.Now();
            step = Step::Restart;
            break;
        case Step::Restart:
            if (const Nanos left = std::chrono::milliseconds(101) - (m_clock.Now() - m_programmed); left > Nanos(0))
                m_clock.SleepFor(left);
            if (!m_t.IsOpen())
                m_t.OpenUnit();
            m_t.ResetIntoRunMode();
            m_t.CloseUnit();
            step = Step::Done;
            break;
        case Step::Done: {
            m_o.SetProgress(100);
            ProgramResult r;
            r.ok = true;
            return r;
        }
        }
    }
}

} // namespace

std::string ReadBackText(const ProgramFailure& failure)
{
    char address[16], found[8], expected[8];
    std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(failure.address.value_or(0)));
    std::snprintf(found, sizeof found, "%02X", static_cast<unsigned>(failure.found));
    std::snprintf(expected, sizeof expected, "%02X", static_cast<unsigned>(failure.expected));
    return TrFormat(N_("照合相違 %1: 読出し %2、ファイル %3"), {address, found, expected});
}

ProgramResult ProgramUnit(const std::string& imagePath, BootTransport& transport, ProgramObserver& observer,
                          Prompter& prompter, Clock& clock, const IdCode& idCode, const std::string& keptNote)
{
    Programmer p(imagePath, transport, observer, prompter, clock, idCode, keptNote);
    return p.Run();
}

} // namespace velmora
