#pragma once
// Boot-mode programming: the unit's microcontroller restarted into its
// serial boot mode through the bridge's CBUS pins, the bit rate synchronised
// and raised, the device selected, its flash erased, all 512 blocks of the
// image programmed and every one read back and compared, and the
// microcontroller restarted into normal operation.
//
// The bridge is reached through BootTransport (the FTDI binding implements
// it; tests put a simulated microcontroller behind it); the dialog's
// progress bar, status line, Cancel button and event loop through
// ProgramObserver; messages and questions through the Prompter; every wait
// through the Clock.
//
// Thread contract: UI thread only.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "firmware/ImageFile.h"
#include "platform/Translate.h"

namespace velmora {

class Clock;
class Prompter;

// FtdiReadByte's answers.
enum class BootByte { None = 0, IoError = 1, Byte = 3 };

class BootTransport {
public:
    virtual ~BootTransport() = default;
    virtual bool IsOpen() const = 0;
    // Opened at 19,200 bit/s, 8 data bits, no parity, 1 stop bit, with the
    // bridge's settling time. False when the unit is not there.
    virtual bool OpenUnit() = 0;
    virtual void CloseUnit() = 0;
    virtual void SetUnitBaudRate(std::uint32_t rate) = 0;
    // One write of the bytes as they stand.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    // At most one byte, within the bridge's short read time-out.
    virtual BootByte ReadByte(std::uint8_t& byte) = 0;
    // One read of up to 100 bytes thrown away, and the receive ring emptied.
    virtual void Drain() = 0;
    virtual void ResetIntoBootMode() = 0;
    virtual void ResetIntoRunMode() = 0;
    // "VER" in the unit's own protocol; nothing when it does not answer.
    virtual std::optional<std::string> QueryVersion() = 0;
};

class ProgramObserver {
public:
    virtual ~ProgramObserver() = default;
    virtual void SetProgress(int percent) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void EnableCancel(bool enabled) = 0;
    // The waiting window work runs (between the steps).
    virtual void LetEventsRun() = 0;
    // The operator asked to cancel; cleared when programming starts.
    virtual bool CancelRequested() const = 0;
    virtual void ClearCancel() = 0;
};

// Why programming ended without its normal end; a mismatch names where.
struct ProgramFailure {
    std::string message;                  // the operator's message's first line; empty when none was shown
    std::optional<std::uint32_t> address; // the read-back difference
    std::uint8_t expected = 0;
    std::uint8_t found = 0;
};

struct ProgramResult {
    bool ok = false;
    std::optional<ProgramFailure> failure;
};

inline constexpr const char* kMsgBootReplyFailed = "BootModeRelease(UP_NG)";
inline constexpr const char* kMsgTransitionError = "Program/Erase status transition Error";
inline constexpr const char* kMsgIdCodeError = "ID code check Error";
inline constexpr const char* kMsgMemoryReadError = "Memory read Error";
inline constexpr const char* kMsgCancelledRestart = N_("キャンセルしました\n発生器を再起動してください");

// The ID code sent when the device asks for one: four 32-bit words, most
// significant byte first.
using IdCode = std::array<std::uint32_t, 4>;

// The read-back difference as the operator is told it: "照合相違 FFFE00C8:
// 読出し 13、ファイル 12" (address, the byte found, the image's byte).
std::string ReadBackText(const ProgramFailure& failure);

// `keptNote`, when not empty, is added on a line of its own to the message
// of an ending past the start of the erase, when the unit's program memory
// is no longer whole: where its calibration is kept and how it comes back.
ProgramResult ProgramUnit(const std::string& imagePath, BootTransport& transport, ProgramObserver& observer,
                          Prompter& prompter, Clock& clock, const IdCode& idCode = {},
                          const std::string& keptNote = {});

} // namespace velmora
