#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "remote/ScpiErrors.h"
#include "remote/ScpiStatus.h"

namespace velmora::scpi {
namespace {

TEST(ScpiStatus, ErrorQueueIsFifoAndSaysNoErrorWhenEmpty)
{
    ErrorQueue queue;
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "0,\"No error\"");
    queue.Push(error::kUndefinedHeader);
    queue.Push(error::kDataOutOfRange, "channel 5");
    queue.Push(error::kNone);
    EXPECT_EQ(queue.Count(), 2u);
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "-113,\"Undefined header\"");
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "-222,\"Data out of range;channel 5\"");
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.Next().code, 0);

    // Quotes in a detail are doubled in the answer, and a long detail is cut
    // to SCPI's limit for the whole text.
    queue.Push(error::kIllegalParameterValue, "name \"x\"");
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "-224,\"Illegal parameter value;name \"\"x\"\"\"");
    queue.Push(error::kExecution, std::string(1000, 'x'));
    EXPECT_EQ(queue.Next().text.size(), ErrorQueue::kMaxTextLength);

    // Numbers the table lacks read as their class; device errors carry
    // their words in the detail.
    queue.Push(-199);
    queue.Push(7, "Overload on channel 2");
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "-199,\"Command error\"");
    EXPECT_EQ(FormatErrorEntry(queue.Next()), "7,\"Device-specific error;Overload on channel 2\"");
}

TEST(ScpiStatus, AFullQueueKeepsTheOldestAndEndsInQueueOverflow)
{
    ErrorQueue queue;
    for (int i = 0; i < 40; ++i)
        queue.Push(-1000 - i);
    ASSERT_EQ(queue.Count(), ErrorQueue::kCapacity);
    for (int i = 0; i + 1 < static_cast<int>(ErrorQueue::kCapacity); ++i)
        EXPECT_EQ(queue.Next().code, -1000 - i);
    const ErrorEntry last = queue.Next();
    EXPECT_EQ(last.code, error::kQueueOverflow);
    EXPECT_EQ(last.text, "Queue overflow");
    EXPECT_EQ(queue.Count(), 0u);

    // Room made by reading goes to the next error, after the overflow mark.
    for (int i = 0; i < 40; ++i)
        queue.Push(-1000 - i);
    queue.Next();
    queue.Push(error::kSyntax);
    ASSERT_EQ(queue.Count(), ErrorQueue::kCapacity);
    for (std::size_t i = 0; i + 2 < ErrorQueue::kCapacity; ++i)
        queue.Next();
    EXPECT_EQ(queue.Next().code, error::kQueueOverflow);
    EXPECT_EQ(queue.Next().code, error::kSyntax);
}

TEST(ScpiStatus, EachErrorClassSetsItsEventBit)
{
    struct Case {
        int code;
        std::uint8_t bit;
    };
    const Case cases[] = {
        {error::kSyntax, esr::kCommandError},
        {error::kUndefinedHeader, esr::kCommandError},
        {error::kDataOutOfRange, esr::kExecutionError},
        {error::kQueueOverflow, esr::kDeviceError},
        {-300, esr::kDeviceError},
        {12, esr::kDeviceError},
        {error::kQueryInterrupted, esr::kQueryError},
        {-500, esr::kPowerOn},
        {-600, esr::kUserRequest},
        {-700, esr::kRequestControl},
        {-800, esr::kOperationComplete},
    };
    for (const Case& c : cases) {
        StatusModel status;
        status.AddError(c.code);
        EXPECT_EQ(status.EventStatus(), c.bit) << c.code;
        EXPECT_EQ(status.ReadEventStatus(), c.bit) << c.code;
        EXPECT_EQ(status.EventStatus(), 0) << c.code;
        EXPECT_EQ(status.ErrorCount(), 1u) << c.code;
    }

    // An error lost to a full queue still counts as its class, and the
    // overflow itself as a device error.
    StatusModel status;
    for (std::size_t i = 0; i < ErrorQueue::kCapacity; ++i)
        status.AddError(error::kQueryInterrupted);
    status.ReadEventStatus();
    status.AddError(error::kSyntax);
    EXPECT_EQ(status.EventStatus(), esr::kCommandError | esr::kDeviceError);
    EXPECT_EQ(status.ErrorCount(), ErrorQueue::kCapacity);
}

TEST(ScpiStatus, StatusByteSummarisesQueueEventsAndRegisters)
{
    StatusModel status;
    EXPECT_EQ(status.StatusByte(), 0);

    status.AddError(error::kSyntax);
    EXPECT_EQ(status.StatusByte(), stb::kErrorAvailable);
    // ESB only for enabled ESR bits.
    status.SetEventEnable(esr::kExecutionError);
    EXPECT_EQ(status.StatusByte(), stb::kErrorAvailable);
    status.SetEventEnable(esr::kCommandError);
    EXPECT_EQ(status.StatusByte(), stb::kErrorAvailable | stb::kEventSummary);

    // MSS when a summary bit is also enabled in the SRE; bit 6 itself
    // cannot be enabled.
    status.SetServiceRequestEnable(0xFF);
    EXPECT_EQ(status.ServiceRequestEnable(), 0xBF);
    EXPECT_EQ(status.StatusByte(), stb::kErrorAvailable | stb::kEventSummary | stb::kMasterSummary);
    status.SetServiceRequestEnable(stb::kQuestionable | stb::kOperation);
    EXPECT_EQ(status.StatusByte() & stb::kMasterSummary, 0);
    status.SetServiceRequestEnable(stb::kMasterSummary);
    EXPECT_EQ(status.ServiceRequestEnable(), 0);

    // Reading the queue and the ESR empties both summaries.
    status.NextError();
    status.ReadEventStatus();
    EXPECT_EQ(status.StatusByte(), 0);

    // The SCPI registers' summaries need an enabled event, not a condition.
    status.SetServiceRequestEnable(stb::kQuestionable | stb::kOperation);
    status.Questionable().SetCondition(0x0001);
    EXPECT_EQ(status.StatusByte(), 0);
    status.Questionable().SetEnable(0x0001);
    EXPECT_EQ(status.StatusByte(), stb::kQuestionable | stb::kMasterSummary);
    status.Operation().SetEnable(0x0100);
    status.Operation().SetCondition(0x0100);
    EXPECT_EQ(status.StatusByte(), stb::kQuestionable | stb::kOperation | stb::kMasterSummary);
    status.Questionable().ReadEvent();
    status.Operation().ReadEvent();
    EXPECT_EQ(status.StatusByte() & (stb::kQuestionable | stb::kOperation), 0);
}

TEST(ScpiStatus, EventsLatchOnTransitionsUntilRead)
{
    EventRegister reg;
    reg.SetCondition(0x0003);
    EXPECT_EQ(reg.Event(), 0x0003);
    // A condition that stays does not latch again once read.
    EXPECT_EQ(reg.ReadEvent(), 0x0003);
    reg.SetCondition(0x0003);
    EXPECT_EQ(reg.Event(), 0);
    // A bit that goes away stays latched until read; by default a fall
    // latches nothing.
    reg.SetCondition(0x0004);
    EXPECT_EQ(reg.Condition(), 0x0004);
    reg.SetCondition(0x0000);
    EXPECT_EQ(reg.ReadEvent(), 0x0004);

    // With the filters swapped only falls latch.
    reg.SetPositiveFilter(0);
    reg.SetNegativeFilter(0xFFFF);
    EXPECT_EQ(reg.NegativeFilter(), EventRegister::kUsedBits);
    reg.SetCondition(0x0010);
    EXPECT_EQ(reg.Event(), 0);
    reg.SetCondition(0);
    EXPECT_EQ(reg.Event(), 0x0010);

    // Bit 15 never shows, so answers stay positive 16-bit numbers.
    EventRegister top;
    top.SetEnable(0xFFFF);
    top.SetCondition(0x8001);
    EXPECT_EQ(top.Enable(), 0x7FFF);
    EXPECT_EQ(top.Condition(), 0x0001);
    EXPECT_EQ(top.Event(), 0x0001);
}

TEST(ScpiStatus, ClearAndPresetEachResetTheirOwnPart)
{
    StatusModel status;
    status.SetEventEnable(0x3C);
    status.SetServiceRequestEnable(0x28);
    status.AddError(error::kDataOutOfRange);
    status.SetEvents(esr::kOperationComplete);
    status.Questionable().SetEnable(0x0200);
    status.Questionable().SetNegativeFilter(0x0200);
    status.Questionable().SetCondition(0x0200);
    status.Operation().SetEnable(0x0010);
    status.Operation().SetCondition(0x0010);

    // *CLS: events and errors go, enables and conditions stay.
    status.Clear();
    EXPECT_EQ(status.ErrorCount(), 0u);
    EXPECT_EQ(status.EventStatus(), 0);
    EXPECT_EQ(status.Questionable().Event(), 0);
    EXPECT_EQ(status.Operation().Event(), 0);
    EXPECT_EQ(status.StatusByte(), 0);
    EXPECT_EQ(status.EventEnable(), 0x3C);
    EXPECT_EQ(status.ServiceRequestEnable(), 0x28);
    EXPECT_EQ(status.Questionable().Enable(), 0x0200);
    EXPECT_EQ(status.Questionable().Condition(), 0x0200);
    EXPECT_EQ(status.Operation().Condition(), 0x0010);
    // The kept filter still latches the fall that follows.
    status.Questionable().SetCondition(0);
    EXPECT_EQ(status.Questionable().Event(), 0x0200);

    // STATus:PRESet: the SCPI registers' enables and filters; 488.2's own
    // registers, the events and the queue stay.
    status.AddError(error::kSyntax);
    status.Preset();
    EXPECT_EQ(status.Questionable().Enable(), 0);
    EXPECT_EQ(status.Questionable().PositiveFilter(), EventRegister::kUsedBits);
    EXPECT_EQ(status.Questionable().NegativeFilter(), 0);
    EXPECT_EQ(status.Operation().Enable(), 0);
    EXPECT_EQ(status.Questionable().Event(), 0x0200);
    EXPECT_EQ(status.EventEnable(), 0x3C);
    EXPECT_EQ(status.ServiceRequestEnable(), 0x28);
    EXPECT_EQ(status.ErrorCount(), 1u);
}

TEST(ScpiStatus, RegisterValuesAreRoundedAndRangeChecked)
{
    EXPECT_EQ(ToRegisterValue(32, 255), 32u);
    EXPECT_EQ(ToRegisterValue(32.4, 255), 32u);
    EXPECT_EQ(ToRegisterValue(31.5, 255), 32u);
    EXPECT_EQ(ToRegisterValue(-0.4, 255), 0u);
    EXPECT_EQ(ToRegisterValue(255, 255), 255u);
    EXPECT_EQ(ToRegisterValue(65535, 65535), 65535u);
    EXPECT_FALSE(ToRegisterValue(255.5, 255));
    EXPECT_FALSE(ToRegisterValue(256, 255));
    EXPECT_FALSE(ToRegisterValue(65536, 65535));
    EXPECT_FALSE(ToRegisterValue(-1, 255));
    EXPECT_FALSE(ToRegisterValue(1e300, 65535));
    EXPECT_FALSE(ToRegisterValue(std::numeric_limits<double>::infinity(), 65535));
    EXPECT_FALSE(ToRegisterValue(std::numeric_limits<double>::quiet_NaN(), 65535));
}

} // namespace
} // namespace velmora::scpi
