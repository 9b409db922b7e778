#include "protocol/FrameCodec.h"

#include <cassert>
#include <cstdio>

namespace velmora {

namespace {

// -1 for anything that is not a hex digit.
int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void AppendHex2(std::string& out, unsigned value)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
    out += buf;
}

void AppendHex4(std::string& out, unsigned value)
{
    char buf[5];
    std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFFu);
    out += buf;
}

// Channel index 0-3 as it travels: one hex digit of index + 1.
void AppendChannel(std::string& out, int ch)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(ch + 1));
    out += buf;
}

std::string StartFrame(std::string_view command)
{
    std::string frame(1, kStx);
    frame += command;
    return frame;
}

std::string FinishFrame(std::string frame)
{
    frame += kEtx;
    AppendChecksum(frame);
    return frame;
}

const char* KindLetter(int kind)
{
    return kind == 1 ? "M" : "U";
}

} // namespace

void AppendChecksum(std::string& message)
{
    unsigned sum = 0;
    for (std::size_t i = 1; i < message.size(); ++i) {
        sum += static_cast<unsigned char>(message[i]);
        if (message[i] == kEtx) {
            AppendHex2(message, sum);
            message += "\r\n";
            return;
        }
    }
    assert(!"AppendChecksum: message holds no ETX");
}

std::optional<int> VerifyFrame(std::string_view line, int expectedLength, int channelOffset)
{
    const auto n = static_cast<int>(line.size());
    if (n < 2)
        return std::nullopt;
    unsigned sum = 0;
    int i = 1;
    while (line[static_cast<std::size_t>(i)] != kEtx) {
        sum += static_cast<unsigned char>(line[static_cast<std::size_t>(i)]);
        if (i + 1 >= n)
            return std::nullopt;
        ++i;
    }
    if (n != expectedLength)
        return std::nullopt;
    // The two checksum digits must lie inside the line.
    if (i + 2 >= n)
        return std::nullopt;
    sum += static_cast<unsigned char>(kEtx);
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", sum & 0xFFu);
    if (line[static_cast<std::size_t>(i) + 1] != expected[0] || line[static_cast<std::size_t>(i) + 2] != expected[1])
        return std::nullopt;
    if (channelOffset < 0 || channelOffset >= n)
        return std::nullopt;
    const char channel = line[static_cast<std::size_t>(channelOffset)];
    if (channel < '1' || channel > '4')
        return std::nullopt;
    return i;
}

unsigned ParseHex(std::string_view text)
{
    unsigned value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d >= 0)
            value = (value << 4) + static_cast<unsigned>(d);
    }
    return value;
}

unsigned HexField(std::string_view line, int offset, int width)
{
    if (offset < 0 || width <= 0)
        return 0;
    unsigned value = 0;
    for (int k = 0; k < width; ++k) {
        const auto at = static_cast<std::size_t>(offset) + static_cast<std::size_t>(k);
        if (at >= line.size())
            break;
        const int d = HexDigitValue(line[at]);
        if (d < 0)
            break;
        value = (value << 4) + static_cast<unsigned>(d);
    }
    return value;
}

std::string BuildVersionQuery()
{
    return "VER\r\n";
}

std::string BuildChannelCountQuery()
{
    return "CH\r\n";
}

std::string BuildStatusRequest(int ch)
{
    std::string frame = StartFrame("R");
    AppendChannel(frame, ch);
    frame += "\r\n";
    return frame;
}

std::string BuildSettingsWrite(int ch, int rangeCode, const SettingsWords& words)
{
    std::string frame = StartFrame("W");
    AppendChannel(frame, ch);
    AppendHex2(frame, static_cast<unsigned>(rangeCode));
    AppendHex4(frame, words.dacCode);
    AppendHex4(frame, words.controlWord);
    AppendHex4(frame, words.auxControlWord);
    // The unit expects the reserved word in two places.
    AppendHex4(frame, words.reservedWord);
    AppendHex4(frame, words.reservedWord);
    AppendHex4(frame, words.extOutputWord);
    for (std::uint16_t w : words.spareWords)
        AppendHex4(frame, w);
    return FinishFrame(std::move(frame));
}

std::string BuildInitUserAdjustment()
{
    // The unit takes this one without a checksum.
    std::string frame = StartFrame("CINIU");
    frame += kEtx;
    frame += "\r\n";
    return frame;
}

std::string BuildAdjustmentRead(int kind, int ch, int rangeCode)
{
    std::string frame = StartFrame("CR");
    frame += KindLetter(kind);
    AppendChannel(frame, ch);
    AppendHex2(frame, static_cast<unsigned>(rangeCode));
    return FinishFrame(std::move(frame));
}

std::string BuildAdjustmentTest(int testPoint, int ch, int rangeCode, std::uint16_t minCorrection,
                                std::uint16_t maxCorrection)
{
    std::string frame = StartFrame("CTU");
    AppendChannel(frame, ch);
    AppendHex2(frame, static_cast<unsigned>(rangeCode));
    // An output code to drive (the range's lower or upper end) and the test
    // flag that switches the test output on.
    switch (testPoint) {
    case 1:
        frame += "00000002";
        break;
    case 2:
        frame += "FFFF0002";
        break;
    default:
        frame += "00000000";
        break;
    }
    AppendHex4(frame, minCorrection);
    AppendHex4(frame, maxCorrection);
    return FinishFrame(std::move(frame));
}

std::string BuildAdjustmentTransfer(int kind, int ch, int rangeCode, std::uint16_t select, std::uint16_t minCorrection,
                                    std::uint16_t maxCorrection)
{
    std::string frame = StartFrame("CM");
    frame += KindLetter(kind);
    AppendChannel(frame, ch);
    AppendHex2(frame, static_cast<unsigned>(rangeCode));
    AppendHex4(frame, select);
    AppendHex4(frame, minCorrection);
    AppendHex4(frame, maxCorrection);
    return FinishFrame(std::move(frame));
}

std::string BuildAdjustmentStore(int kind)
{
    std::string frame = StartFrame("CW");
    frame += KindLetter(kind);
    return FinishFrame(std::move(frame));
}

} // namespace velmora
