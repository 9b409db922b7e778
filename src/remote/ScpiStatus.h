#pragma once
// The IEEE 488.2 status model of one client: its error queue, the Standard
// Event Status Register with its enable, the Status Byte with the Service
// Request Enable, and SCPI's QUEStionable and OPERation registers. Each
// client has its own; one thread (the one that runs the client's commands)
// owns it. No Qt, no output: the command tree reads and formats.
//
// Values a client writes are checked by the caller (ToRegisterValue) before
// they reach a setter, so a bad value is the caller's -222 and never a
// silent truncation.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::scpi {

struct ErrorEntry {
    int code = 0;
    std::string text; // the standard text, then ";" and the detail when there is one
    bool operator==(const ErrorEntry&) const = default;
};

// As SYSTem:ERRor? answers: -222,"Data out of range;channel 5", the quotes
// in the text doubled.
std::string FormatErrorEntry(const ErrorEntry& entry);

// First in, first out. When a push finds the queue full, the newest entry is
// replaced by -350 "Queue overflow" and the new error is lost: the oldest
// errors, which explain the rest, survive, and the client learns it missed
// some.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 32;
    // SCPI's limit for an error's text; a longer detail is cut.
    static constexpr std::size_t kMaxTextLength = 255;

    // Code 0 is no error and is not queued.
    void Push(int code, std::string_view detail = {});
    // The oldest entry, removed; 0,"No error" when there is none.
    ErrorEntry Next();
    std::size_t Count() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    std::deque<ErrorEntry> entries_;
};

// Standard Event Status Register bits.
namespace esr {
inline constexpr std::uint8_t kOperationComplete = 1u << 0;
inline constexpr std::uint8_t kRequestControl = 1u << 1;
inline constexpr std::uint8_t kQueryError = 1u << 2;
inline constexpr std::uint8_t kDeviceError = 1u << 3;
inline constexpr std::uint8_t kExecutionError = 1u << 4;
inline constexpr std::uint8_t kCommandError = 1u << 5;
inline constexpr std::uint8_t kUserRequest = 1u << 6;
inline constexpr std::uint8_t kPowerOn = 1u << 7;
} // namespace esr

// The ESR bit an error of `code` sets: -1xx CME, -2xx EXE, -3xx and positive
// DDE, -4xx QYE, -5xx PON, -6xx URQ, -7xx RQC, -8xx OPC; 0 for no bit.
std::uint8_t EsrBitOf(int code);

// Status Byte bits.
namespace stb {
inline constexpr std::uint8_t kErrorAvailable = 1u << 2;
inline constexpr std::uint8_t kQuestionable = 1u << 3;
inline constexpr std::uint8_t kMessageAvailable = 1u << 4;
inline constexpr std::uint8_t kEventSummary = 1u << 5;
inline constexpr std::uint8_t kMasterSummary = 1u << 6;
inline constexpr std::uint8_t kOperation = 1u << 7;
} // namespace stb

// A SCPI status register: the condition the caller keeps current, the event
// register latching its transitions, the filters and the enable. Bit 15 is
// never set (SCPI keeps it clear so that answers stay positive 16-bit
// integers); it is dropped from every value written.
class EventRegister {
public:
    static constexpr std::uint16_t kUsedBits = 0x7FFF;

    // Latches the bits that rose (through PTR) and fell (through NTR).
    void SetCondition(std::uint16_t condition);
    std::uint16_t Condition() const { return condition_; }

    // [:EVENt]? reads and clears.
    std::uint16_t ReadEvent();
    std::uint16_t Event() const { return event_; }
    void ClearEvent() { event_ = 0; }

    void SetEnable(std::uint16_t enable) { enable_ = enable & kUsedBits; }
    std::uint16_t Enable() const { return enable_; }
    void SetPositiveFilter(std::uint16_t ptr) { ptr_ = ptr & kUsedBits; }
    std::uint16_t PositiveFilter() const { return ptr_; }
    void SetNegativeFilter(std::uint16_t ntr) { ntr_ = ntr & kUsedBits; }
    std::uint16_t NegativeFilter() const { return ntr_; }

    // The bit this register gives the Status Byte.
    bool Summary() const { return (event_ & enable_) != 0; }

    // STATus:PRESet: enable none, every rise latched, no fall.
    void Preset();

private:
    std::uint16_t condition_ = 0;
    std::uint16_t event_ = 0;
    std::uint16_t enable_ = 0;
    std::uint16_t ptr_ = kUsedBits;
    std::uint16_t ntr_ = 0;
};

class StatusModel {
public:
    // Queues the error and sets its ESR bit. The bit is set even when the
    // queue had no room for the entry.
    void AddError(int code, std::string_view detail = {});
    ErrorEntry NextError() { return queue_.Next(); }
    std::size_t ErrorCount() const { return queue_.Count(); }

    // Sets ESR bits directly (*OPC sets kOperationComplete).
    void SetEvents(std::uint8_t bits) { esr_ |= bits; }
    // *ESR? reads and clears.
    std::uint8_t ReadEventStatus();
    std::uint8_t EventStatus() const { return esr_; }
    void SetEventEnable(std::uint8_t ese) { ese_ = ese; }
    std::uint8_t EventEnable() const { return ese_; }

    // *SRE; bit 6 (MSS) cannot be enabled and is dropped.
    void SetServiceRequestEnable(std::uint8_t sre);
    std::uint8_t ServiceRequestEnable() const { return sre_; }
    // *STB?: EAV, QUES, ESB, MSS and OPER as they stand; MAV stays clear
    // because every response is written as soon as it is made.
    std::uint8_t StatusByte() const;

    EventRegister& Questionable() { return questionable_; }
    const EventRegister& Questionable() const { return questionable_; }
    EventRegister& Operation() { return operation_; }
    const EventRegister& Operation() const { return operation_; }

    // *CLS: the ESR, the error queue and both event registers; the enables
    // and the conditions stay.
    void Clear();
    // STATus:PRESet: the SCPI registers' enables and filters to their
    // preset; ESE, SRE and the queue stay.
    void Preset();

private:
    ErrorQueue queue_;
    std::uint8_t esr_ = 0;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
    EventRegister questionable_;
    EventRegister operation_;
};

// A register value as a client sent it (an <NRf>, rounded to the nearest
// integer as 488.2 asks), or nothing when it is not within 0..maximum:
// 255 for *ESE and *SRE, 65535 for the SCPI registers. The caller raises
// -222 on nothing.
std::optional<unsigned> ToRegisterValue(double number, unsigned maximum);

} // namespace velmora::scpi
