#include "remote/ScpiStatus.h"

#include <cmath>

#include "remote/ScpiErrors.h"

namespace velmora::scpi {

std::string FormatErrorEntry(const ErrorEntry& entry)
{
    std::string out = std::to_string(entry.code);
    out += ",\"";
    for (const char c : entry.text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

void ErrorQueue::Push(int code, std::string_view detail)
{
    if (code == error::kNone)
        return;
    if (entries_.size() >= kCapacity) {
        entries_.back() = ErrorEntry{error::kQueueOverflow, std::string(ErrorText(error::kQueueOverflow))};
        return;
    }
    ErrorEntry entry{code, std::string(ErrorText(code))};
    if (!detail.empty()) {
        entry.text += ';';
        entry.text += detail;
        if (entry.text.size() > kMaxTextLength)
            entry.text.resize(kMaxTextLength);
    }
    entries_.push_back(std::move(entry));
}

ErrorEntry ErrorQueue::Next()
{
    if (entries_.empty())
        return ErrorEntry{error::kNone, std::string(ErrorText(error::kNone))};
    ErrorEntry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
}

std::uint8_t EsrBitOf(int code)
{
    if (code > 0)
        return esr::kDeviceError;
    switch (code / 100) {
    case -1:
        return esr::kCommandError;
    case -2:
        return esr::kExecutionError;
    case -3:
        return esr::kDeviceError;
    case -4:
        return esr::kQueryError;
    case -5:
        return esr::kPowerOn;
    case -6:
        return esr::kUserRequest;
    case -7:
        return esr::kRequestControl;
    case -8:
        return esr::kOperationComplete;
    default:
        return 0;
    }
}

void EventRegister::SetCondition(std::uint16_t condition)
{
    condition &= kUsedBits;
    const auto rose = static_cast<std::uint16_t>(condition & ~condition_);
    const auto fell = static_cast<std::uint16_t>(condition_ & ~condition);
    event_ |= static_cast<std::uint16_t>((rose & ptr_) | (fell & ntr_));
    condition_ = condition;
}

std::uint16_t EventRegister::ReadEvent()
{
    const std::uint16_t event = event_;
    event_ = 0;
    return event;
}

void EventRegister::Preset()
{
    enable_ = 0;
    ptr_ = kUsedBits;
    ntr_ = 0;
}

void StatusModel::AddError(int code, std::string_view detail)
{
    if (code == error::kNone)
        return;
    esr_ |= EsrBitOf(code);
    if (queue_.Count() >= ErrorQueue::kCapacity)
        esr_ |= EsrBitOf(error::kQueueOverflow);
    queue_.Push(code, detail);
}

std::uint8_t StatusModel::ReadEventStatus()
{
    const std::uint8_t esr = esr_;
    esr_ = 0;
    return esr;
}

void StatusModel::SetServiceRequestEnable(std::uint8_t sre)
{
    sre_ = sre & static_cast<std::uint8_t>(~stb::kMasterSummary);
}

std::uint8_t StatusModel::StatusByte() const
{
    std::uint8_t stb = 0;
    if (queue_.Count() > 0)
        stb |= stb::kErrorAvailable;
    if (questionable_.Summary())
        stb |= stb::kQuestionable;
    if ((esr_ & ese_) != 0)
        stb |= stb::kEventSummary;
    if (operation_.Summary())
        stb |= stb::kOperation;
    if ((stb & sre_) != 0)
        stb |= stb::kMasterSummary;
    return stb;
}

void StatusModel::Clear()
{
    esr_ = 0;
    queue_.Clear();
    questionable_.ClearEvent();
    operation_.ClearEvent();
}

void StatusModel::Preset()
{
    questionable_.Preset();
    operation_.Preset();
}

std::optional<unsigned> ToRegisterValue(double number, unsigned maximum)
{
    if (!std::isfinite(number))
        return std::nullopt;
    const double rounded = std::round(number);
    if (rounded < 0.0 || rounded > static_cast<double>(maximum))
        return std::nullopt;
    return static_cast<unsigned>(rounded);
}

} // namespace velmora::scpi
