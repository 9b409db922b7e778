#include "model/CVelmoraDoc.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "model/RangeTable.h"
#include "platform/AtomicFile.h"
#include "platform/Cp932.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kSupportedVersion = 100;

// The repair keeps every interval the automatic-output dialog can store:
// slots up to 9999 s, table rows below 10000 s (tenths of a second).
constexpr std::int32_t kMaxSlotInterval = 99990;
constexpr std::int32_t kMaxPointInterval = 99999;
constexpr std::int32_t kMaxConvDecimals = 5;

// A settings file is under 12 KB; only a port name could make it longer.
// Reading stops here so that a wrong file (a disk image, a device) cannot
// exhaust memory; whatever lies beyond counts as past the end.
constexpr std::size_t kMaxFileBytes = 16u << 20;

bool IsAcceptedChannelCount(std::int32_t n)
{
    return n == 1 || n == 2 || n == 4;
}

void RepairSlot(AutoOutputSlot& slot, const RangeInfo& lim)
{
    const double lo = lim.lower;
    const double hi = lim.upper;
    if (slot.mode < kAutoSawtooth || slot.mode > kAutoArbitrary)
        slot.mode = kAutoSawtooth;
    if (slot.repeat < 1 || slot.repeat > kMaxAutoRepeat)
        slot.repeat = 0;
    // Written as "not inside" so that NaN is repaired too; when lo is above
    // hi nothing is inside and start/end become lo/hi.
    if (!(slot.start >= lo && slot.start <= hi))
        slot.start = lo;
    if (!(slot.end >= lo && slot.end <= hi))
        slot.end = hi;
    if (!(std::fabs(slot.step) <= hi))
        slot.step = 0.0;
    if (slot.interval < 1 || slot.interval > kMaxSlotInterval)
        slot.interval = kDefaultAutoInterval;
}

} // namespace

std::int32_t ParseVersionNumber(const std::string& text)
{
    std::size_t i = 0;
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(INT_MAX) + 1)
            value = static_cast<std::int64_t>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<std::int32_t>(value);
}

bool RangeCodeNeedsRepair(std::int32_t code)
{
    return code == 4 || code == 8 || code == 9 || code < 0 || code > 12;
}

std::optional<std::string> ProcessWorkingDirectory()
{
    std::error_code ec;
    fs::path p = fs::current_path(ec);
    if (ec)
        return std::nullopt;
    return p.string();
}

// ---------------------------------------------------------------------------
// Construction and destruction

CVelmoraDoc::CVelmoraDoc(Prompter& prompter) : CVelmoraDoc(prompter, WorkingDirectoryFn(ProcessWorkingDirectory))
{
}

CVelmoraDoc::CVelmoraDoc(Prompter& prompter, WorkingDirectoryFn workingDirectory)
    : m_prompter(prompter),
      m_workingDirectory(std::move(workingDirectory))
{
    LoadStateFile();
}

CVelmoraDoc::CVelmoraDoc(Prompter& prompter, NoStateFile) : m_prompter(prompter)
{
}

CVelmoraDoc::~CVelmoraDoc()
{
    // Every exit keeps the present settings, also after a cancelled start.
    if (m_workingDirectory)
        SaveStateFile();
}

std::string CVelmoraDoc::LastPortName() const
{
    if (!m_strLastPortSet.empty() && Utf8ToCp932(m_strLastPortSet) == m_strLastPort)
        return m_strLastPortSet;
    return Cp932ToUtf8(m_strLastPort);
}

void CVelmoraDoc::SetLastPort(std::string_view utf8)
{
    if (LastPortName() == utf8)
        return;
    m_strLastPort = Utf8ToCp932(utf8);
    m_strLastPortSet = std::string(utf8);
}

// ---------------------------------------------------------------------------
// File format

void CVelmoraDoc::WriteSettings(ArchiveWriter& ar) const
{
    ar.WriteString(kStartMarker);
    ar.WriteString(kFormatVersion);
    ar.WriteInt32(m_model.channelCount);
    ar.WriteString(m_strLastPort);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelSettings& s = m_model.channels[ch];
        ar.WriteBool(s.useConversion);
        ar.WriteInt32(s.rangeCode);
        ar.WriteDouble(s.convMin);
        ar.WriteDouble(s.convMax);
        ar.WriteInt32(s.convDecimals);
        for (const auto& slot : s.presets)
            for (double v : slot)
                ar.WriteDouble(v);
        const AutoOutputState& a = m_autoOutput[ch];
        for (const AutoOutputSlot& slot : a.slots) {
            ar.WriteInt32(slot.mode);
            ar.WriteInt32(slot.repeat);
            ar.WriteDouble(slot.start);
            ar.WriteDouble(slot.end);
            ar.WriteDouble(slot.step);
            ar.WriteInt32(slot.interval);
        }
        for (const ArbitraryPoint& p : a.points) {
            ar.WriteBool(p.used);
            ar.WriteDouble(p.value);
            ar.WriteInt32(p.interval);
        }
    }
    ar.WriteString(kEndMarker);
}

ReadResult CVelmoraDoc::ReadSettings(ArchiveReader& ar)
{
    std::string text;
    if (!ar.ReadString(text))
        return ReadResult::PastEnd;
    if (text != kStartMarker)
        return ReadResult::WrongFormat;
    if (!ar.ReadString(text))
        return ReadResult::PastEnd;
    if (ParseVersionNumber(text) != kSupportedVersion)
        return ReadResult::WrongVersion;

    std::int32_t count = 0;
    if (!ar.ReadInt32(count))
        return ReadResult::PastEnd;
    // Only 1, 2 and 4 are counts of a unit; anything else is not one of our
    // files, and a count past the four records must never reach the model.
    if (!IsAcceptedChannelCount(count))
        return ReadResult::WrongFormat;
    m_model.channelCount = count;
    m_nFrameWidth = count == 1 ? kFrameWidthNarrow : count == 2 ? kFrameWidthWide : kFrameWidthFour;

    if (!ar.ReadString(text))
        return ReadResult::PastEnd;
    m_strLastPort = text;

    // Each value is stored as soon as it is read, so a file that ends early
    // leaves everything before its end in the document.
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelSettings& s = m_model.channels[ch];
        AutoOutputState& a = m_autoOutput[ch];

        bool conversion = false;
        if (!ar.ReadBool(conversion))
            return ReadResult::PastEnd;
        m_model.SetConversionEnabled(ch, conversion);

        // A code outside 0-15 is kept as read: the model treats it as naming
        // no range and gives it no slot.
        std::int32_t code = 0;
        if (!ar.ReadInt32(code))
            return ReadResult::PastEnd;
        m_model.SetRange(ch, code);

        if (!ar.ReadDouble(s.convMin) || !ar.ReadDouble(s.convMax) || !ar.ReadInt32(s.convDecimals))
            return ReadResult::PastEnd;
        for (auto& slot : s.presets)
            for (double& v : slot)
                if (!ar.ReadDouble(v))
                    return ReadResult::PastEnd;
        for (AutoOutputSlot& slot : a.slots) {
            if (!ar.ReadInt32(slot.mode) || !ar.ReadInt32(slot.repeat) || !ar.ReadDouble(slot.start) ||
                !ar.ReadDouble(slot.end) || !ar.ReadDouble(slot.step) || !ar.ReadInt32(slot.interval))
                return ReadResult::PastEnd;
        }
        for (ArbitraryPoint& p : a.points) {
            if (!ar.ReadBool(p.used) || !ar.ReadDouble(p.value) || !ar.ReadInt32(p.interval))
                return ReadResult::PastEnd;
        }

        // A channel under its conversion formula starts at the convMin just
        // read, not at the one it had before.
        m_model.ResetSetValue(ch);
    }
    // The end marker and anything after it are not looked at.
    return ReadResult::Ok;
}

// ---------------------------------------------------------------------------
// New document, defaults and repairs

void CVelmoraDoc::StopAutoOutputs()
{
    for (AutoOutputState& a : m_autoOutput) {
        a.runState = kAutoStopped;
        a.nextStepTime = 0;
        a.cycleCount = 0;
        a.pointIndex = 0;
        a.falling = false;
    }
}

bool CVelmoraDoc::NewSettings()
{
    if (m_bStateLoaded) {
        StopAutoOutputs();
        m_bStateLoaded = false;
        RepairChannelSettings();
        RepairAutoOutputSettings();
        return true;
    }
    const std::optional<int> circuits = m_prompter.AskCircuitCount();
    if (!circuits || (*circuits != 1 && *circuits != 2))
        return false;
    StopAutoOutputs();
    SetChannelCount(*circuits);
    return true;
}

void CVelmoraDoc::SetChannelCount(int count)
{
    if (count < 1 || count > kMaxChannels)
        return;
    m_model.channelCount = count;
    if (count == 1)
        m_nFrameWidth = kFrameWidthNarrow;
    else if (count == 2)
        m_nFrameWidth = kFrameWidthWide;
    else if (count == 4)
        m_nFrameWidth = kFrameWidthFour;
    else
        return;
    SetChannelDefaults();
    RepairChannelSettings();
    SetAutoOutputDefaults();
    RepairAutoOutputSettings();
}

void CVelmoraDoc::SetChannelDefaults()
{
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelSettings& s = m_model.channels[ch];
        if (RangeCodeNeedsRepair(s.rangeCode))
            m_model.SetRange(ch, 0);
        // Assigned directly: the set value is reset below anyway.
        s.useConversion = false;
        s.convMin = 0.0;
        s.convDecimals = 0;
        s.convMax = 100.0;
        m_model.ResetSetValue(ch);
        m_model.ResetPresets(ch);
        m_model.ClampPresets(ch);
    }
}

void CVelmoraDoc::RepairChannelSettings()
{
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelSettings& s = m_model.channels[ch];
        if (RangeCodeNeedsRepair(s.rangeCode))
            m_model.SetRange(ch, 0);
        // Negative decimals are as meaningless as too many.
        if (s.convDecimals > kMaxConvDecimals || s.convDecimals < 0)
            s.convDecimals = 0;
        // A span that is not a number would make every limit check pass or
        // fail at random; fall back to the construction span.
        if (!std::isfinite(s.convMin))
            s.convMin = 0.0;
        if (!std::isfinite(s.convMax))
            s.convMax = 1.0;
        if (s.convMin == 0.0 && s.convMax == 0.0)
            s.convMax = 1.0;
        m_model.ResetSetValue(ch);
        m_model.ClampPresets(ch);
    }
}

RangeInfo CVelmoraDoc::SlotLimits(int ch, int slot) const
{
    if (slot != kConversionSlot && IsValidRangeCode(slot))
        return GetRangeInfo(slot);
    if (ch < 0 || ch >= kMaxChannels)
        return RangeInfo{};
    const ChannelSettings& s = m_model.channels[ch];
    return RangeInfo{s.convMin, s.convMax, s.convDecimals};
}

void CVelmoraDoc::SetAutoOutputDefaults()
{
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        AutoOutputState& a = m_autoOutput[ch];
        for (int s = 0; s < kSlotCount; ++s) {
            const RangeInfo lim = SlotLimits(ch, s);
            AutoOutputSlot& slot = a.slots[s];
            slot.mode = kAutoSawtooth;
            slot.repeat = 0;
            slot.start = lim.lower;
            slot.end = lim.upper;
            slot.step = 1.0;
            slot.interval = kDefaultAutoInterval;
        }
        for (ArbitraryPoint& p : a.points)
            p = ArbitraryPoint{false, 0.0, kDefaultAutoInterval};
    }
}

void CVelmoraDoc::RepairAutoOutputSettings()
{
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        AutoOutputState& a = m_autoOutput[ch];
        for (int s = 0; s < kSlotCount; ++s)
            RepairSlot(a.slots[s], SlotLimits(ch, s));
        // Table rows carry no slot of their own: they were checked against
        // the limits in use when they were entered, and stay meaningful when
        // the operator goes back to that range. Only values that are no
        // number at all are dropped.
        for (ArbitraryPoint& p : a.points) {
            if (p.interval < 1 || p.interval > kMaxPointInterval)
                p.interval = kDefaultAutoInterval;
            if (!std::isfinite(p.value))
                p.value = 0.0;
        }
    }
}

// ---------------------------------------------------------------------------
// Files

void CVelmoraDoc::ShowFileMessage(const std::string& text)
{
    m_prompter.Message(text, kAppTitle, PromptIcon::Exclamation, PromptButtons::Ok);
}

OpenResult CVelmoraDoc::ReadFile(const std::string& path, bool skipEmpty)
{
    std::string bytes;
    if (!ReadRegularFile(path, bytes, kMaxFileBytes))
        return OpenResult::CannotOpen;
    StopAutoOutputs();
    if (bytes.size() > kMaxFileBytes)
        bytes.resize(kMaxFileBytes);
    if (skipEmpty && bytes.empty())
        return OpenResult::EmptySkipped;

    ArchiveReader ar(bytes);
    switch (ReadSettings(ar)) {
    case ReadResult::Ok:
        return OpenResult::Read;
    case ReadResult::WrongFormat:
        ShowFileMessage(kMsgWrongFormat);
        return OpenResult::Refused;
    case ReadResult::WrongVersion:
        ShowFileMessage(kMsgWrongVersion);
        return OpenResult::Refused;
    case ReadResult::PastEnd:
        break;
    }
    ShowFileMessage(TrFormat(kMsgReadPastEnd, {path}));
    return OpenResult::Truncated;
}

OpenResult CVelmoraDoc::OpenDocument(const std::string& path)
{
    return ReadFile(path, true);
}

OpenResult CVelmoraDoc::ReadSettingsFile(const std::string& path)
{
    return ReadFile(path, false);
}

AtomicWriteResult CVelmoraDoc::SaveDocument(const std::string& path) const
{
    ArchiveWriter ar;
    WriteSettings(ar);
    return WriteFileAtomically(path, ar.Bytes());
}

std::optional<std::string> CVelmoraDoc::StateFilePath() const
{
    if (!m_workingDirectory)
        return std::nullopt;
    const std::optional<std::string> cwd = m_workingDirectory();
    if (!cwd)
        return std::nullopt;
    return (fs::path(*cwd) / "Hovelt" / "Velmora" / "vkx.ini").string();
}

void CVelmoraDoc::LoadStateFile()
{
    m_bStateLoaded = false;
    const std::optional<std::string> path = StateFilePath();
    if (!path)
        return;
    const fs::path file(*path);
    const fs::path folder = file.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        // Failures are not reported: the next exit simply cannot keep the
        // settings.
        fs::create_directory(folder.parent_path(), ec);
        fs::create_directory(folder, ec);
        return;
    }
    if (!fs::exists(file, ec))
        return;
    // A state file that exists but cannot be read is treated like a missing
    // one: the operator is asked for the circuit count, and the next exit
    // replaces it.
    m_bStateLoaded = ReadFile(*path, false) != OpenResult::CannotOpen;
}

AtomicWriteResult CVelmoraDoc::SaveStateFile() const
{
    const std::optional<std::string> path = StateFilePath();
    if (!path)
        return {AtomicWriteError::CreateTemp, ENOENT};
    const fs::path folder = fs::path(*path).parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fs::create_directory(folder.parent_path(), ec);
        fs::create_directory(folder, ec);
    }
    ArchiveWriter ar;
    WriteSettings(ar);
    return WriteFileAtomically(*path, ar.Bytes());
}

} // namespace velmora
