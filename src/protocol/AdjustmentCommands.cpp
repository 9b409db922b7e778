#include "protocol/AdjustmentCommands.h"

#include <cstdio>

#include "model/GeneratorModel.h"
#include "protocol/FrameCodec.h"
#include "protocol/GeneratorLink.h"
#include "platform/Translate.h"

namespace velmora {

namespace {

const char* KindName(int kind)
{
    return kind == kAdjustMaker ? "maker" : kind == kAdjustUser ? "user" : "other";
}

bool IsChannel(int ch)
{
    return ch >= 0 && ch < kMaxChannels;
}

bool IsSlot(int rangeCode)
{
    return rangeCode >= 0 && rangeCode < kSlotCount;
}

// The shape shared by the test output, transfer, store and initialisation:
// one receive drops what an earlier exchange left, then the command goes out
// (again after each time-out) until the unit says "OK". Any other line is
// not an answer to these commands and is passed over.
AdjustOutcome FromExchange(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Accepted:
        return AdjustOutcome::Answered;
    case ExchangeOutcome::TimedOut:
        return AdjustOutcome::TimedOut;
    case ExchangeOutcome::WrongReplies:
    case ExchangeOutcome::Rejected:
        break;
    }
    return AdjustOutcome::BadReplies;
}

AdjustOutcome RunAcknowledged(GeneratorLink& link, LinkMode mode, std::string frame, bool busy)
{
    ExchangePlan plan;
    plan.mode = mode;
    plan.frame = std::move(frame);
    plan.busy = busy;
    plan.openingReceives = 1;
    const auto judge = [](std::string_view line) {
        return line.substr(0, 2) == "OK" ? ReplyVerdict::Accept : ReplyVerdict::Ignore;
    };
    return FromExchange(link.RunExchange(plan, judge));
}

} // namespace

const char* AdjustOutcomeText(AdjustOutcome outcome)
{
    switch (outcome) {
    case AdjustOutcome::Answered:
        return N_("answered");
    case AdjustOutcome::TimedOut:
        return N_("timed out");
    case AdjustOutcome::BadReplies:
        return N_("damaged replies");
    case AdjustOutcome::NotSent:
        break;
    }
    return N_("not sent");
}

bool ApplyAdjustmentReply(GeneratorModel& model, std::string_view line)
{
    // The adjustment reply carries its channel at offset 4, after the kind.
    if (!VerifyFrame(line, kAdjustReplyLength, 4))
        return false;
    const bool maker = line[3] == 'M';
    const int ch = line[4] - '1';
    const unsigned r = ParseHex(line.substr(5, 2));
    // The unit answers range codes it has no slot for; there is nothing to
    // keep from such a reply, but it is an answer all the same.
    if (r >= static_cast<unsigned>(kSlotCount))
        return true;
    ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
    const auto word = [&line](int offset) { return static_cast<std::uint16_t>(HexField(line, offset, 4)); };
    // The select word lives in the user slot whichever set was read.
    s.userAdjustment[r].adjustSelect = word(7);
    if (maker) {
        s.makerCorrection[r].minCorrection = word(11);
        s.makerCorrection[r].maxCorrection = word(15);
    } else {
        s.userAdjustment[r].minCorrection = word(11);
        s.userAdjustment[r].maxCorrection = word(15);
    }
    return true;
}

AdjustOutcome ReadAdjustment(GeneratorLink& link, GeneratorModel& model, LinkMode mode, int ch, int kind, int rangeCode)
{
    if (!IsChannel(ch) || rangeCode < 0 || rangeCode > 0xFF)
        return AdjustOutcome::NotSent;
    ExchangePlan plan;
    plan.mode = mode;
    plan.frame = BuildAdjustmentRead(kind, ch, rangeCode);
    plan.openingReceives = 1;
    // The unit may still be sending something from before; the request goes
    // out only once the line has been quiet for a moment, and again so after
    // a reply that did not pass its checks.
    plan.quietWaitFirst = true;
    // A unit that answers every request with a damaged reply would otherwise
    // be asked forever: damaged replies count with the time-outs.
    plan.countRepeats = true;
    const auto judge = [&model](std::string_view line) {
        if (line.size() < 3 || line[0] != kStx || line[1] != 'C' || line[2] != 'R')
            return ReplyVerdict::Ignore;
        return ApplyAdjustmentReply(model, line) ? ReplyVerdict::Accept : ReplyVerdict::Repeat;
    };
    return FromExchange(link.RunExchange(plan, judge));
}

AdjustOutcome TestAdjustment(GeneratorLink& link, int testPoint, int ch, int rangeCode, std::uint16_t minCorrection,
                             std::uint16_t maxCorrection)
{
    if (!IsChannel(ch) || rangeCode < 0 || rangeCode > 0xFF)
        return AdjustOutcome::NotSent;
    const AdjustOutcome outcome = RunAcknowledged(
        link, LinkSerial, BuildAdjustmentTest(testPoint, ch, rangeCode, minCorrection, maxCorrection), false);
    // A test output drives the channel: the record must know.
    if (RunRecorder* recorder = link.Recorder()) {
        char values[48];
        std::snprintf(values, sizeof values, "min=%04X max=%04X", minCorrection, maxCorrection);
        recorder->AdjustTest(ch, rangeCode, testPoint, values, Answered(outcome));
    }
    return outcome;
}

AdjustOutcome TransferAdjustment(GeneratorLink& link, const GeneratorModel& model, LinkMode mode, int ch, int rangeCode,
                                 int kind)
{
    if (!IsChannel(ch) || !IsSlot(rangeCode))
        return AdjustOutcome::NotSent;
    const ChannelSettings& s = model.channels[static_cast<std::size_t>(ch)];
    const UserAdjustment& user = s.userAdjustment[static_cast<std::size_t>(rangeCode)];
    const MakerCorrection& maker = s.makerCorrection[static_cast<std::size_t>(rangeCode)];
    // The select word goes with either set: the unit keeps one per range.
    const bool isMaker = kind == kAdjustMaker;
    const std::uint16_t minWord = isMaker ? maker.minCorrection : user.minCorrection;
    const std::uint16_t maxWord = isMaker ? maker.maxCorrection : user.maxCorrection;
    const AdjustOutcome outcome = RunAcknowledged(
        link, mode, BuildAdjustmentTransfer(kind, ch, rangeCode, user.adjustSelect, minWord, maxWord), true);
    if (RunRecorder* recorder = link.Recorder()) {
        char values[64];
        std::snprintf(values, sizeof values, "select=%04X min=%04X max=%04X", user.adjustSelect, minWord, maxWord);
        recorder->Adjust("transfer", ch, rangeCode, KindName(kind), values, Answered(outcome));
    }
    return outcome;
}

AdjustOutcome StoreAdjustment(GeneratorLink& link, LinkMode mode, int kind)
{
    const AdjustOutcome outcome = RunAcknowledged(link, mode, BuildAdjustmentStore(kind), true);
    if (RunRecorder* recorder = link.Recorder())
        recorder->Adjust("store", -1, -1, KindName(kind), {}, Answered(outcome));
    return outcome;
}

AdjustOutcome InitUserAdjustment(GeneratorLink& link)
{
    const AdjustOutcome outcome = RunAcknowledged(link, LinkSerial, BuildInitUserAdjustment(), false);
    if (RunRecorder* recorder = link.Recorder())
        recorder->Adjust("init", -1, -1, "user", {}, Answered(outcome));
    return outcome;
}

} // namespace velmora
