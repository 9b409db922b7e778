#include "SimBootMcu.h"

#include <algorithm>

namespace velmora::sim {

namespace {

std::uint32_t Address(const std::vector<std::uint8_t>& c, std::size_t at)
{
    return (std::uint32_t{c[at]} << 24) | (std::uint32_t{c[at + 1]} << 16) | (std::uint32_t{c[at + 2]} << 8) |
        std::uint32_t{c[at + 3]};
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

bool SumsToZero(const std::vector<std::uint8_t>& c)
{
    unsigned sum = 0;
    for (std::uint8_t b : c)
        sum += b;
    return (sum & 0xFFu) == 0;
}

} // namespace

SimBootMcu::SimBootMcu() : m_flash(kFlashBytes, 0xFF)
{
}

void SimBootMcu::EnterBootMode()
{
    m_bBootMode = true;
    m_bRunning = false;
    m_bSynced = false;
    m_nZeros = 0;
    m_deviceRate = 19'200;
    m_in.clear();
    m_out.clear();
}

void SimBootMcu::Restart()
{
    m_bBootMode = false;
    m_bRunning = true;
    m_in.clear();
    m_out.clear();
}

std::uint8_t SimBootMcu::TakeReply()
{
    const std::uint8_t b = m_out.front();
    m_out.pop_front();
    return b;
}

void SimBootMcu::Reply(std::initializer_list<std::uint8_t> bytes)
{
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
}

void SimBootMcu::ReplyWithSum(std::vector<std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(0x100u - (sum & 0xFFu)));
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
}

void SimBootMcu::Receive(std::span<const std::uint8_t> bytes)
{
    if (!m_bBootMode)
        return;
    for (std::uint8_t b : bytes) {
        // A byte sent at a rate the device is not at arrives as something
        // else.
        if (m_hostRate != m_deviceRate)
            b = static_cast<std::uint8_t>(b ^ 0x5A);
        if (!m_bSynced) {
            m_nZeros = b == 0x00 ? m_nZeros + 1 : 0;
            if (m_nZeros == 30 && !m_faults.noSync) {
                m_bSynced = true;
                Reply({0x00});
            }
            continue;
        }
        m_in.push_back(b);
        if (m_in.size() >= CommandLength()) {
            Handle(m_in);
            m_in.clear();
        }
    }
}

std::size_t SimBootMcu::CommandLength() const
{
    switch (m_in[0]) {
    case 0x10:
    case 0x59:
        return 7;
    case 0x3F:
        return 10;
    case 0x60:
        return 19;
    case 0x52:
        return 12;
    case 0x50:
        if (m_in.size() < 5)
            return 5;
        return Address(m_in, 1) == 0xFFFFFFFF ? 6 : 262;
    default:
        return 1;
    }
}

void SimBootMcu::Handle(const std::vector<std::uint8_t>& c)
{
    if (c.size() > 1 && !SumsToZero(c)) {
        Reply({0xFF});
        return;
    }
    switch (c[0]) {
    case 0x55:
        Reply({0xE6});
        break;
    case 0x20: {
        std::vector<std::uint8_t> r = {0x30, 0x3F, 0x01, 0x3D};
        r.insert(r.end(), kDeviceCode.begin(), kDeviceCode.end());
        r.resize(64, 0x20);
        ReplyWithSum(std::move(r));
        break;
    }
    case 0x10:
        Reply({std::equal(kDeviceCode.begin(), kDeviceCode.end(), c.begin() + 2) ? std::uint8_t{0x46}
                                                                                 : std::uint8_t{0x90}});
        break;
    case 0x26: {
        std::vector<std::uint8_t> r = {0x36, 0x19, 0x02, 0x00};
        PutWord(r, kFlashStart);
        PutWord(r, kEraseBlock);
        PutWord(r, static_cast<std::uint32_t>(kFlashBytes / kEraseBlock));
        PutWord(r, kDataStart);
        PutWord(r, kEraseBlock);
        PutWord(r, 1);
        ReplyWithSum(std::move(r));
        break;
    }
    case 0x3F:
        // Answered at the old rate, then the device goes over.
        Reply({0x06});
        m_deviceRate = ((std::uint32_t{c[2]} << 8) | c[3]) * 100u;
        break;
    case 0x06:
    case 0x48:
    case 0x43:
        Reply({0x06});
        break;
    case 0x40:
        Reply({m_faults.transition});
        break;
    case 0x60:
        std::copy(c.begin() + 2, c.begin() + 18, m_idReceived.begin());
        m_bIdChecked = true;
        Reply({m_faults.refuseId ? std::uint8_t{0xE0} : std::uint8_t{0x06}});
        break;
    case 0x59: {
        const std::uint32_t a = Address(c, 2);
        if (a != 0xFFFFFFFF) {
            ++m_nErased;
            // The block that holds the address, whatever its alignment.
            if (a >= kFlashStart && a - kFlashStart < kFlashBytes) {
                const std::size_t at = (a - kFlashStart) / kEraseBlock * kEraseBlock;
                std::fill_n(m_flash.begin() + static_cast<std::ptrdiff_t>(at), kEraseBlock, std::uint8_t{0xFF});
            }
            if (a == kDataStart)
                m_bDataErased = true;
        }
        Reply({0x06});
        break;
    }
    case 0x4F:
        ReplyWithSum({0x5F, 0x01, 0x00, 0x00});
        break;
    case 0x50: {
        const std::uint32_t a = Address(c, 1);
        if (a != 0xFFFFFFFF && a >= kFlashStart && a - kFlashStart + 256 <= kFlashBytes)
            for (std::size_t k = 0; k < 256; ++k)
                m_flash[a - kFlashStart + k] &= c[5 + k]; // flash only clears bits
        Reply({0x06});
        break;
    }
    case 0x52: {
        const std::uint32_t a = Address(c, 3);
        std::vector<std::uint8_t> r = {0x52, 0x00, 0x00, 0x01, 0x00};
        for (std::size_t k = 0; k < 256; ++k) {
            const std::uint32_t at = a + static_cast<std::uint32_t>(k);
            r.push_back(at >= kFlashStart && at - kFlashStart < kFlashBytes ? m_flash[at - kFlashStart] : 0xFF);
        }
        if (m_faults.corruptBlock >= 0 && a == kFlashStart + 256u * static_cast<std::uint32_t>(m_faults.corruptBlock))
            r[5 + 200] ^= 0x01;
        ReplyWithSum(std::move(r));
        break;
    }
    default:
        break; // not a command of this device: no answer
    }
}

} // namespace velmora::sim
