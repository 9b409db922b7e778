#include "remote/ScpiErrors.h"

#include <array>
#include <utility>

namespace velmora::scpi {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 54> kTexts{{
    {error::kNone, "No error"},
    {error::kCommand, "Command error"},
    {error::kInvalidCharacter, "Invalid character"},
    {error::kSyntax, "Syntax error"},
    {error::kInvalidSeparator, "Invalid separator"},
    {error::kDataType, "Data type error"},
    {-105, "GET not allowed"},
    {error::kParameterNotAllowed, "Parameter not allowed"},
    {error::kMissingParameter, "Missing parameter"},
    {error::kCommandHeader, "Command header error"},
    {error::kHeaderSeparator, "Header separator error"},
    {error::kMnemonicTooLong, "Program mnemonic too long"},
    {error::kUndefinedHeader, "Undefined header"},
    {error::kHeaderSuffixOutOfRange, "Header suffix out of range"},
    {error::kUnexpectedParameterCount, "Unexpected number of parameters"},
    {error::kNumericData, "Numeric data error"},
    {error::kInvalidCharacterInNumber, "Invalid character in number"},
    {error::kExponentTooLarge, "Exponent too large"},
    {error::kTooManyDigits, "Too many digits"},
    {error::kNumericDataNotAllowed, "Numeric data not allowed"},
    {error::kSuffix, "Suffix error"},
    {error::kInvalidSuffix, "Invalid suffix"},
    {error::kSuffixTooLong, "Suffix too long"},
    {error::kSuffixNotAllowed, "Suffix not allowed"},
    {error::kCharacterData, "Character data error"},
    {error::kInvalidCharacterData, "Invalid character data"},
    {error::kCharacterDataTooLong, "Character data too long"},
    {error::kCharacterDataNotAllowed, "Character data not allowed"},
    {error::kStringData, "String data error"},
    {error::kInvalidStringData, "Invalid string data"},
    {error::kStringDataNotAllowed, "String data not allowed"},
    {-160, "Block data error"},
    {-161, "Invalid block data"},
    {error::kBlockDataNotAllowed, "Block data not allowed"},
    {error::kExecution, "Execution error"},
    {-220, "Parameter error"},
    {error::kSettingsConflict, "Settings conflict"},
    {error::kDataOutOfRange, "Data out of range"},
    {error::kIllegalParameterValue, "Illegal parameter value"},
    {error::kHardware, "Hardware error"},
    {error::kHardwareMissing, "Hardware missing"},
    {error::kDeviceSpecific, "Device-specific error"},
    {error::kSystem, "System error"},
    {error::kQueueOverflow, "Queue overflow"},
    {error::kInputBufferOverrun, "Input buffer overrun"},
    {error::kQuery, "Query error"},
    {error::kQueryInterrupted, "Query INTERRUPTED"},
    {error::kQueryUnterminated, "Query UNTERMINATED"},
    {-430, "Query DEADLOCKED"},
    {-440, "Query UNTERMINATED after indefinite response"},
    {-500, "Power on"},
    {-600, "User request"},
    {-700, "Request control"},
    {-800, "Operation complete"},
}};

} // namespace

std::string_view ErrorText(int code)
{
    for (const auto& [number, text] : kTexts)
        if (number == code)
            return text;
    if (code > 0)
        return "Device-specific error";
    switch (code / 100) {
    case -1:
        return "Command error";
    case -2:
        return "Execution error";
    case -3:
        return "Device-specific error";
    case -4:
        return "Query error";
    default:
        return "Error";
    }
}

} // namespace velmora::scpi
