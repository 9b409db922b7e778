#include "firmware/BootCommands.h"

namespace velmora {

namespace {

void PutAddress(std::vector<std::uint8_t>& bytes, std::uint32_t address)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(address >> shift));
}

BootCommand One(std::uint8_t code, int replyLength = 1, std::uint8_t expected = 0x06)
{
    return {{code}, replyLength, expected};
}

} // namespace

std::uint8_t BootSum(std::span<const std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
}

std::vector<std::uint8_t> WithSum(std::vector<std::uint8_t> bytes)
{
    bytes.push_back(BootSum(bytes));
    return bytes;
}

BootCommand SyncConfirm()
{
    return One(0x55, 1, 0xE6);
}
BootCommand DeviceInquiry()
{
    return One(0x20, 65, 0x30);
}

BootCommand DeviceSelection(const std::array<std::uint8_t, 4>& code)
{
    return {WithSum({0x10, 0x04, code[0], code[1], code[2], code[3]}), 1, 0x46};
}

BootCommand EraseAreaInquiry()
{
    return One(0x26, 29, 0x36);
}

BootCommand NewBitRate()
{
    // 0x2710 hundreds of bit/s: 1,000,000 bit/s.
    return {WithSum({0x3F, 0x07, 0x27, 0x10, 0x06, 0x40, 0x02, 0x01, 0x01}), 1, 0x06};
}

BootCommand BitRateConfirmation()
{
    return One(0x06);
}
BootCommand StateTransition()
{
    return One(0x40);
}

BootCommand IdCodeCheck(const std::array<std::uint8_t, 16>& id)
{
    std::vector<std::uint8_t> bytes = {0x60, 0x10};
    bytes.insert(bytes.end(), id.begin(), id.end());
    return {WithSum(std::move(bytes)), 1, 0x06};
}

BootCommand EraseSelection()
{
    return One(0x48);
}

BootCommand BlockErase(std::uint32_t address)
{
    std::vector<std::uint8_t> bytes = {0x59, 0x04};
    PutAddress(bytes, address);
    return {WithSum(std::move(bytes)), 1, 0x06};
}

BootCommand EndOfErase()
{
    return BlockErase(0xFFFFFFFF);
}
BootCommand StatusInquiry()
{
    return One(0x4F, 5, 0x5F);
}
BootCommand ProgrammingSelection()
{
    return One(0x43);
}

BootCommand ProgramBlock(std::uint32_t address, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> bytes = {0x50};
    PutAddress(bytes, address);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return {WithSum(std::move(bytes)), 1, 0x06};
}

BootCommand EndOfProgramming()
{
    return {WithSum({0x50, 0xFF, 0xFF, 0xFF, 0xFF}), 1, 0x06};
}

BootCommand ReadBlock(std::uint32_t address)
{
    std::vector<std::uint8_t> bytes = {0x52, 0x09, 0x01};
    PutAddress(bytes, address);
    for (std::uint8_t b : {0x00, 0x00, 0x01, 0x00})
        bytes.push_back(b);
    return {WithSum(std::move(bytes)), static_cast<int>(kBootReplyBuffer), 0x52};
}

} // namespace velmora
