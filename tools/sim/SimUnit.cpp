#include "SimUnit.h"

#include <algorithm>
#include <cstdio>

#include "adjust/AdjustSession.h"
#include "adjust/AdjustText.h"
#include "dialogs/GeneratorInfoReport.h"
#include "model/RangeTable.h"
#include "protocol/AdjustmentCommands.h"

namespace velmora::sim {

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string Hex2(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

std::string Hex4(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFFu);
    return buf;
}

// The host writes every field in upper-case hex; anything else makes the
// frame one the unit does not take.
bool IsUpperHex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// The channel character "1"-"4" as an index, or -1.
int ChannelIndex(char c)
{
    return c >= '1' && c <= '4' ? c - '1' : -1;
}

std::uint16_t Word(std::string_view line, int offset)
{
    return static_cast<std::uint16_t>(HexField(line, offset, 4));
}

bool HasHexLetter(std::string_view digits)
{
    return std::any_of(digits.begin(), digits.end(), [](char c) { return c >= 'A' && c <= 'F'; });
}

// Junk the garbage fault sends instead of a reply. None starts the way a
// real reply does; one carries a NUL and one looks like a frame of no known
// kind, so a host that matches carelessly trips over them.
constexpr std::string_view kGarbage[] = {
    std::string_view("#~?@!junk!@?~#\r\n"),
    std::string_view("\x7F\x80\xFE\xFFVE\r\n", 8),
    std::string_view("O\0K\r\n", 5),
    std::string_view("\x02Q1\x03"
                     "ZZ\r\n"),
};

} // namespace

SimUnit::SimUnit() = default;

bool SimUnit::SetVersion(std::string_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(kMaxVersionLength))
        return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
        return false;
    m_strVersion.assign(text);
    return true;
}

bool SimUnit::SetChannelCount(int n)
{
    if (n != 1 && n != 2 && n != 4)
        return false;
    m_nChannels = n;
    return true;
}

void SimUnit::SetSilentAfter(std::optional<int> n)
{
    m_silentAfter = n;
    m_nSinceLimit = 0;
}

void SimUnit::ClearFaults()
{
    m_faults = SimFaults{};
    SetSilentAfter(std::nullopt);
}

void SimUnit::ResetState()
{
    m_channels = {};
    m_storedMaker = {};
    m_storedUser = {};
}

// ---------------------------------------------------------------------------
// Input

void SimUnit::Receive(Nanos now, std::string_view bytes)
{
    for (char c : bytes) {
        // A paced unit hears a byte only once it has crossed the wire: the
        // host's write lands at once on a pseudo-terminal, a real line takes
        // its time.
        Nanos heard = now;
        if (m_faults.pace) {
            // Counted from the start of the burst, so that rounding does not
            // add up byte by byte.
            if (now > m_rxFree) {
                m_rxStart = now;
                m_nRxBurst = 0;
            }
            m_rxFree = m_rxStart + WireTime(++m_nRxBurst);
            heard = m_rxFree;
        }
        m_strRx.push_back(c);
        if (c == '\n') {
            // A line needs at least one byte before its CR LF; a bare LF or
            // an empty CR LF ends nothing worth answering.
            if (m_strRx.size() >= 3 && m_strRx[m_strRx.size() - 2] == '\r')
                HandleLine(heard, m_strRx);
            m_strRx.clear();
        } else if (m_strRx.size() >= kMaxHostLine) {
            m_strRx.clear();
        }
    }
}

void SimUnit::Receive(Nanos now, std::span<const std::uint8_t> bytes)
{
    Receive(now, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void SimUnit::HandleLine(Nanos now, std::string_view line)
{
    if (m_observer)
        m_observer(false, line);
    auto reply = Answer(line);
    if (!reply)
        return;
    OutKind kind = OutKind::Plain;
    if ((*reply)[0] == kStx)
        kind = (*reply)[1] == 'R' ? OutKind::StatusFrame : OutKind::FixedFrame;
    Emit(now + std::chrono::milliseconds(std::max(0, m_faults.delayMs)), std::move(*reply), kind);
}

std::optional<std::string> SimUnit::Answer(std::string_view line)
{
    if (line.size() < 3 || !line.ends_with(kCrLf))
        return std::nullopt;
    const std::string_view body = line.substr(0, line.size() - 2);

    if (body == "VER")
        return "VER" + m_strVersion + "\r\n";
    if (body == "CH")
        return "CH" + std::to_string(m_nChannels) + "\r\n";
    if (body.size() < 2 || body[0] != kStx)
        return std::nullopt;

    if (body.size() == 3 && body[1] == 'R') {
        const int ch = ChannelIndex(body[2]);
        if (ch < 0 || ch >= m_nChannels)
            return std::nullopt;
        return StatusReply(ch);
    }
    if (body ==
        "\x02"
        "CINIU"
        "\x03") {
        InitUserTables();
        return "OK\r\n";
    }
    if (body[1] == 'W') {
        ApplySettingsWrite(line);
        return std::nullopt; // settings writes are never confirmed
    }
    if (body.starts_with("\x02"
                         "CR"))
        return AnswerAdjustmentRead(line);
    if (body.starts_with("\x02"
                         "CTU"))
        return AnswerTestOutput(line);
    if (body.starts_with("\x02"
                         "CM"))
        return AnswerTransfer(line);
    if (body.starts_with("\x02"
                         "CW"))
        return AnswerStore(line);
    return std::nullopt;
}

// Settings write: STX "W" ch range(2) then nine words, ETX at 41.
bool SimUnit::ApplySettingsWrite(std::string_view line)
{
    const auto etx = VerifyFrame(line, kSettingsFrameLength, 2);
    if (!etx || *etx != 41 || !IsUpperHex(line.substr(3, 38)))
        return false;
    const int ch = ChannelIndex(line[2]);
    if (ch >= m_nChannels)
        return false;
    SimChannelState& c = Channel(ch);
    c.rangeCode = static_cast<int>(HexField(line, 3, 2));
    c.words.dacCode = Word(line, 5);
    c.words.controlWord = Word(line, 9);
    c.words.auxControlWord = Word(line, 13);
    // The reserved word travels twice; the unit keeps the first copy.
    c.words.reservedWord = Word(line, 17);
    c.words.extOutputWord = Word(line, 25);
    c.words.spareWords = {Word(line, 29), Word(line, 33), Word(line, 37)};
    ++c.settingsWrites;
    return true;
}

// Adjustment read: STX "CR" kind ch range(2) ETX cs CR LF, 12 bytes.
std::optional<std::string> SimUnit::AnswerAdjustmentRead(std::string_view line)
{
    const auto etx = VerifyFrame(line, 12, 4);
    if (!etx || *etx != 7 || (line[3] != 'M' && line[3] != 'U') || !IsUpperHex(line.substr(5, 2)))
        return std::nullopt;
    const int ch = ChannelIndex(line[4]);
    if (ch >= m_nChannels)
        return std::nullopt;
    return AdjustmentReply(line[3], ch, static_cast<int>(HexField(line, 5, 2)));
}

// Test output: STX "CTU" ch range(2) code flag min max ETX cs CR LF, 28 bytes.
std::optional<std::string> SimUnit::AnswerTestOutput(std::string_view line)
{
    const auto etx = VerifyFrame(line, 28, 4);
    if (!etx || *etx != 23 || !IsUpperHex(line.substr(5, 18)))
        return std::nullopt;
    const int ch = ChannelIndex(line[4]);
    if (ch >= m_nChannels)
        return std::nullopt;
    auto& t = Channel(ch).test;
    t.rangeCode = static_cast<int>(HexField(line, 5, 2));
    t.code = Word(line, 7);
    t.flag = Word(line, 11);
    t.minCorrection = Word(line, 15);
    t.maxCorrection = Word(line, 19);
    // Test point 0 (flag 0000) ends the test output.
    t.driving = t.flag == 0x0002;
    return "OK\r\n";
}

// Transfer: STX "CM" kind ch range(2) select min max ETX cs CR LF, 24 bytes.
std::optional<std::string> SimUnit::AnswerTransfer(std::string_view line)
{
    const auto etx = VerifyFrame(line, 24, 4);
    if (!etx || *etx != 19 || (line[3] != 'M' && line[3] != 'U') || !IsUpperHex(line.substr(5, 14)))
        return std::nullopt;
    const int ch = ChannelIndex(line[4]);
    if (ch >= m_nChannels)
        return std::nullopt;
    const auto r = HexField(line, 5, 2);
    // New corrections end the channel's trial of the old ones.
    Channel(ch).test.driving = false;
    if (r < static_cast<unsigned>(kSlotCount)) {
        SimChannelState& c = Channel(ch);
        c.user[r].adjustSelect = Word(line, 7);
        if (line[3] == 'M') {
            c.maker[r].minCorrection = Word(line, 11);
            c.maker[r].maxCorrection = Word(line, 15);
        } else {
            c.user[r].minCorrection = Word(line, 11);
            c.user[r].maxCorrection = Word(line, 15);
        }
    }
    // A range code the unit has no slot for is acknowledged all the same, as
    // the host goes on either way.
    return "OK\r\n";
}

// Store: STX "CWM" or "CWU" ETX cs CR LF, 9 bytes. There is no channel to
// check, so the line is compared with the frame the unit expects.
std::optional<std::string> SimUnit::AnswerStore(std::string_view line)
{
    if (line.size() != 9)
        return std::nullopt;
    const char kind = line[3];
    if (kind != 'M' && kind != 'U')
        return std::nullopt;
    std::string expected = std::string("\x02"
                                       "CW") +
        kind + kEtx;
    AppendChecksum(expected);
    if (line != expected)
        return std::nullopt;
    SimStoredTables& s = kind == 'M' ? m_storedMaker : m_storedUser;
    ++s.stores;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        s.user[static_cast<std::size_t>(ch)] = Channel(ch).user;
        s.maker[static_cast<std::size_t>(ch)] = Channel(ch).maker;
    }
    return "OK\r\n";
}

void SimUnit::InitUserTables()
{
    // The select words stay: initialising clears the user's corrections, not
    // the choice of which set is in effect. It clears the kept tables too,
    // or it would undo itself at the next power-on.
    const auto clear = [](std::array<UserAdjustment, kSlotCount>& table) {
        for (auto& u : table) {
            u.minCorrection = 0x0000;
            u.maxCorrection = 0x8000;
        }
    };
    for (auto& c : m_channels)
        clear(c.user);
    for (auto& table : m_storedUser.user)
        clear(table);
}

bool SimUnit::LoadTables(std::string_view text, std::string& error)
{
    int number = 0;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        ++number;
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos || line[start] == '#')
            continue;
        std::string why;
        const std::optional<AdjustLine> a = ParseAdjustLine(line, why);
        if (!a) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        const auto r = static_cast<std::size_t>(a->rangeCode);
        const auto ch = static_cast<std::size_t>(a->channel);
        SimChannelState& c = Channel(a->channel);
        if (a->maker)
            c.maker[r] = *a->maker;
        if (a->user) {
            c.user[r].minCorrection = a->user->minCorrection;
            c.user[r].maxCorrection = a->user->maxCorrection;
        }
        if (a->select)
            c.user[r].adjustSelect = static_cast<std::uint16_t>(*a->select);
        for (SimStoredTables* kept : {&m_storedMaker, &m_storedUser}) {
            kept->maker[ch][r] = c.maker[r];
            kept->user[ch][r] = c.user[r];
        }
    }
    return true;
}

std::string SimUnit::TablesText(int ch, bool stored) const
{
    const auto i = static_cast<std::size_t>(ch);
    const auto& maker = stored ? m_storedMaker.maker[i] : Channel(ch).maker;
    const auto& user = stored ? m_storedUser.user[i] : Channel(ch).user;
    std::string s;
    for (int r = 0; r < kSlotCount; ++r) {
        if (!IsReportedRange(r))
            continue;
        if (!s.empty())
            s += '\n';
        s += FormatAdjustLine(ch, r, maker[static_cast<std::size_t>(r)], user[static_cast<std::size_t>(r)]);
    }
    return s;
}

std::string SimUnit::TestOutputText(int ch) const
{
    const SimChannelState::TestOutput& t = Channel(ch).test;
    const int point = !t.driving ? kTestOff : t.code == 0xFFFF ? kTestUpper : kTestLower;
    return FormatTestOutputLine(ch, point, t.rangeCode, static_cast<std::int16_t>(t.minCorrection),
                                SignedMaxCorrection(t.maxCorrection));
}

// ---------------------------------------------------------------------------
// Replies

std::string SimUnit::StatusReply(int ch) const
{
    const SimChannelState& c = Channel(ch);
    const SettingsWords& w = c.words;
    const int r = c.rangeCode;
    std::string s;
    s += kStx;
    s += 'R';
    s += static_cast<char>('1' + ch);
    s += Hex2(static_cast<unsigned>(r));
    // 5-24: echo of the output words, which the host does not read.
    s += Hex4(w.dacCode) + Hex4(w.controlWord) + Hex4(w.auxControlWord) + Hex4(w.reservedWord) + Hex4(w.extOutputWord);
    s += Hex4(c.statusWord); // 25-28
    // 29-44: the spare words and a pad word, also not read by the host.
    s += Hex4(w.spareWords[0]) + Hex4(w.spareWords[1]) + Hex4(w.spareWords[2]) + "0000";
    s += Hex4(c.extStatusWord);                                                                 // 45-48
    s += Hex4(r >= 0 && r < kSlotCount ? c.user[static_cast<std::size_t>(r)].adjustSelect : 0); // 49-52
    s += kEtx;
    AppendChecksum(s);
    return s;
}

std::string SimUnit::AdjustmentReply(char kind, int ch, int rangeCode) const
{
    std::uint16_t select = 0x0000, minC = 0x0000, maxC = 0x8000;
    if (rangeCode >= 0 && rangeCode < kSlotCount) {
        const SimChannelState& c = Channel(ch);
        const auto r = static_cast<std::size_t>(rangeCode);
        select = c.user[r].adjustSelect;
        if (kind == 'M') {
            minC = c.maker[r].minCorrection;
            maxC = c.maker[r].maxCorrection;
        } else {
            minC = c.user[r].minCorrection;
            maxC = c.user[r].maxCorrection;
        }
    }
    std::string s;
    s += kStx;
    s += "CR";
    s += kind == 'M' ? 'M' : 'U';
    s += static_cast<char>('1' + ch);
    s += Hex2(static_cast<unsigned>(rangeCode));
    s += Hex4(select) + Hex4(minC) + Hex4(maxC);
    s += kEtx;
    AppendChecksum(s);
    return s;
}

std::string SimUnit::AnnouncementLine()
{
    std::string s;
    s += kStx;
    s += 'A';
    s += kEtx;
    AppendChecksum(s);
    return s;
}

void SimUnit::Announce(Nanos now)
{
    Emit(now, AnnouncementLine(), OutKind::Frame);
}

void SimUnit::Flood(Nanos now, std::size_t count)
{
    static constexpr std::string_view kNoise = "\x02"
                                               "FLOOD 0123456789ABCDEF \x03\x7F\xFF";
    std::string bytes;
    bytes.reserve(count + 2);
    for (std::size_t k = 0; k < count; ++k)
        bytes += kNoise[k % kNoise.size()];
    bytes += kCrLf;
    if (m_observer)
        m_observer(true, bytes);
    Schedule(now, bytes);
}

// ---------------------------------------------------------------------------
// Faults and the output schedule

void SimUnit::Emit(Nanos ready, std::string text, OutKind kind)
{
    auto out = ApplyFaults(std::move(text), kind);
    if (!out)
        return;
    if (m_observer)
        m_observer(true, *out);
    Schedule(ready, *out);
}

std::string SimUnit::NextGarbage()
{
    const auto& g = kGarbage[m_nGarbage++ % std::size(kGarbage)];
    return std::string(g);
}

std::optional<std::string> SimUnit::ApplyFaults(std::string text, OutKind kind)
{
    if (m_faults.silent)
        return std::nullopt;
    if (m_silentAfter) {
        if (m_nSinceLimit >= *m_silentAfter)
            return std::nullopt;
        ++m_nSinceLimit;
    }
    ++m_nLinesOut;

    if (m_faults.garbage) {
        text = NextGarbage();
    } else if (kind != OutKind::Plain) {
        const std::size_t etx = text.find(kEtx, 1);
        std::string body = text.substr(0, etx); // without ETX
        if (kind != OutKind::Frame && m_faults.length == LengthFault::Short)
            body.pop_back();
        else if (kind != OutKind::Frame && m_faults.length == LengthFault::Long)
            body.push_back('0');
        body.push_back(kEtx);

        // The whole frame with its checksum, spoilt if asked.
        auto finish = [this](const std::string& b) {
            std::string f = b;
            AppendChecksum(f);
            if (m_faults.badChecksum) {
                const std::size_t at = f.size() - 4;
                const std::string wrong = Hex2(ParseHex(std::string_view(f).substr(at, 2)) + 1);
                f.replace(at, 2, wrong);
            }
            return f;
        };
        text = finish(body);
        if (m_faults.lowercaseChecksum) {
            // A checksum of digits only would look the same in lower case; the
            // status reply's pad word is free to change until a letter shows.
            // Its last two digits can add any amount from 0 to 0x2C to the
            // sum, enough to reach a letter from any sum.
            if (kind == OutKind::StatusFrame) {
                for (unsigned k = 1; k < 256 && !HasHexLetter(std::string_view(text).substr(text.size() - 4, 2)); ++k) {
                    body[43] = "0123456789ABCDEF"[k >> 4];
                    body[44] = "0123456789ABCDEF"[k & 15];
                    text = finish(body);
                }
            }
            for (std::size_t i = text.size() - 4; i < text.size() - 2; ++i)
                if (text[i] >= 'A' && text[i] <= 'F')
                    text[i] = static_cast<char>(text[i] - 'A' + 'a');
        }
    }
    if (m_faults.strayCrLf)
        text.insert(0, kCrLf);
    return text;
}

void SimUnit::Schedule(Nanos ready, const std::string& bytes)
{
    if (bytes.empty())
        return;
    ready = std::max(ready, m_lastDue);
    if (m_faults.pace) {
        const Nanos start = std::max(ready, m_wireFree);
        for (std::size_t k = 0; k < bytes.size(); ++k)
            m_pending.push_back({start + WireTime(static_cast<std::int64_t>(k + 1)), std::string(1, bytes[k])});
        m_wireFree = start + WireTime(static_cast<std::int64_t>(bytes.size()));
        m_lastDue = m_wireFree;
    } else {
        m_pending.push_back({ready, bytes});
        m_lastDue = ready;
    }
}

std::optional<Nanos> SimUnit::NextDue() const
{
    if (m_pending.empty())
        return std::nullopt;
    return m_pending.front().due;
}

std::string SimUnit::TakeDue(Nanos now)
{
    std::string out;
    while (!m_pending.empty() && m_pending.front().due <= now) {
        out += m_pending.front().bytes;
        m_pending.pop_front();
    }
    return out;
}

void SimUnit::DropPending()
{
    m_pending.clear();
}

} // namespace velmora::sim
