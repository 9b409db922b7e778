// Bytes from a misbehaving unit: assembled into lines the way the serial
// channel does, each line handed to every handler that reads the unit's
// replies. Nothing may read outside a line or store outside the records.
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "link/ReceiveRing.h"
#include "model/GeneratorModel.h"
#include "protocol/AdjustmentCommands.h"
#include "protocol/FrameCodec.h"
#include "protocol/OutputCommands.h"

using namespace velmora;

namespace {

void HandleLine(GeneratorModel& model, std::string_view text)
{
    (void)HandleUnitLine(model, text);
    (void)ApplyAdjustmentReply(model, text);
    (void)VerifyFrame(text, kStatusReplyLength);
    (void)VerifyFrame(text, kAdjustReplyLength, 4);
    (void)ParseHex(text);
    for (int off = 0; off < 64; off += 7)
        (void)HexField(text, off, 4);
}

// Takes lines out of the ring until it has no complete line left. Every call
// either consumes bytes or clears the error flags, so this ends.
void Drain(ReceiveRing<512>& ring, LineBuffer& line, GeneratorModel& model)
{
    for (;;) {
        const LineResult r = AssembleSerialLine(ring, line);
        if (r == LineResult::LineComplete)
            HandleLine(model, line.Line());
        else if (r != LineResult::LineDiscarded)
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GeneratorModel model;
    model.channelCount = 4;
    ReceiveRing<512> ring;
    LineBuffer line;
    for (std::size_t i = 0; i < size; ++i) {
        // 0xFE stands for a receive error between two bytes.
        if (data[i] == 0xFE) {
            ring.RaiseErrors(kRxFramingError);
        } else if (!ring.Push(data[i])) {
            Drain(ring, line, model);
            ring.Push(data[i]);
        }
        // The UI thread reads now and then, not after every byte.
        if (i % 37 == 0)
            Drain(ring, line, model);
    }
    Drain(ring, line, model);
    for (int ch = 0; ch < kMaxChannels; ++ch)
        (void)model.AlarmCode(ch);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    auto frame = [](const std::string& body) {
        std::string f = std::string(1, kStx) + body + kEtx;
        AppendChecksum(f);
        return f;
    };
    return {
        frame("R10100000000000000000000000300000000000000000002000200"),
        frame("CRU1050002FFFB8003"),
        frame("CRM11F000000008000"),
        std::string("\x02"
                    "A\r\n"),
        std::string("VER01.00A\r\nCH2\r\nOK\r\n"),
        std::string("\r\n\x02R5\r\n"),
    };
}
