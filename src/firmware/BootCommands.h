#pragma once
// The microcontroller's serial boot-mode commands: the bytes of each, with
// the SUM byte that makes a command add up to 0 modulo 256, the length of
// its reply and the first reply byte it expects.
//
// Thread contract: none needed; plain values.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

struct BootCommand {
    std::vector<std::uint8_t> bytes;
    int replyLength = 1;
    std::uint8_t expected = 0x06;
};

// The bit rate the link switches to after the new-bit-rate command.
inline constexpr std::uint32_t kBootFastRate = 1'000'000;
inline constexpr std::uint32_t kBootStartRate = 19'200;
inline constexpr int kSyncBytes = 30;
inline constexpr std::size_t kBootBlockBytes = 256;
inline constexpr int kBootBlocks = 512;
inline constexpr std::uint32_t kBootFirstAddress = 0xFFFE0000;
// The longest reply: a read-back block.
inline constexpr std::size_t kBootReplyBuffer = 262;

// The two's complement of the 8-bit sum of `bytes`.
std::uint8_t BootSum(std::span<const std::uint8_t> bytes);
// `bytes` with their SUM appended.
std::vector<std::uint8_t> WithSum(std::vector<std::uint8_t> bytes);

BootCommand SyncConfirm();                                            // 0x55 -> 0xE6
BootCommand DeviceInquiry();                                          // 0x20 -> 65 bytes, 0x30
BootCommand DeviceSelection(const std::array<std::uint8_t, 4>& code); // -> 0x46
BootCommand EraseAreaInquiry();                                       // 0x26 -> 29 bytes, 0x36
BootCommand NewBitRate();                                             // fixed, SUM 0x39
BootCommand BitRateConfirmation();                                    // 0x06
BootCommand StateTransition();                                        // 0x40 -> 0x06 / 0x16 / 0x56
BootCommand IdCodeCheck(const std::array<std::uint8_t, 16>& id);
BootCommand EraseSelection();                  // 0x48
BootCommand BlockErase(std::uint32_t address); // 0x59 0x04 a3..a0 SUM
BootCommand EndOfErase();
BootCommand StatusInquiry();                                                         // 0x4F -> 5 bytes, 0x5F
BootCommand ProgrammingSelection();                                                  // 0x43
BootCommand ProgramBlock(std::uint32_t address, std::span<const std::uint8_t> data); // 262 bytes
BootCommand EndOfProgramming();                                                      // SUM 0xB4
BootCommand ReadBlock(std::uint32_t address);                                        // 12 bytes -> 262, 0x52

} // namespace velmora
