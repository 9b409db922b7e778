#pragma once
// The SCPI error numbers this program raises and their standard texts. The
// parser, the status model and the command tree share them, so a client's
// SYSTem:ERRor? reads the same words whichever layer refused.
//
// Negative numbers are the standard's; positive numbers belong to the
// instrument (the command tree defines its own).

#include <string_view>

namespace velmora::scpi {

namespace error {
inline constexpr int kNone = 0;
// Command errors (-1xx): the message broke the grammar. They set CME.
inline constexpr int kCommand = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntax = -102;
inline constexpr int kInvalidSeparator = -103;
inline constexpr int kDataType = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kCommandHeader = -110;
inline constexpr int kHeaderSeparator = -111;
inline constexpr int kMnemonicTooLong = -112;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffixOutOfRange = -114;
inline constexpr int kUnexpectedParameterCount = -115;
inline constexpr int kNumericData = -120;
inline constexpr int kInvalidCharacterInNumber = -121;
inline constexpr int kExponentTooLarge = -123;
inline constexpr int kTooManyDigits = -124;
inline constexpr int kNumericDataNotAllowed = -128;
inline constexpr int kSuffix = -130;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixTooLong = -134;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kCharacterData = -140;
inline constexpr int kInvalidCharacterData = -141;
inline constexpr int kCharacterDataTooLong = -144;
inline constexpr int kCharacterDataNotAllowed = -148;
inline constexpr int kStringData = -150;
inline constexpr int kInvalidStringData = -151;
inline constexpr int kStringDataNotAllowed = -158;
inline constexpr int kBlockDataNotAllowed = -168;
// Execution errors (-2xx): well formed, but not possible now. They set EXE.
inline constexpr int kExecution = -200;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kHardware = -240;
inline constexpr int kHardwareMissing = -241;
// Device-specific errors (-3xx and every positive number). They set DDE.
inline constexpr int kDeviceSpecific = -300;
inline constexpr int kSystem = -310;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputBufferOverrun = -363;
// Query errors (-4xx). They set QYE.
inline constexpr int kQuery = -400;
inline constexpr int kQueryInterrupted = -410;
inline constexpr int kQueryUnterminated = -420;
} // namespace error

// The standard text of `code`. A number the table does not hold gets the
// text of its class ("Execution error" for -299); a positive number gets
// "Device-specific error", the caller adds its own words as the detail.
std::string_view ErrorText(int code);

} // namespace velmora::scpi
