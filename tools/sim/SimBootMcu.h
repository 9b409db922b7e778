#pragma once
// The unit's microcontroller in its serial boot mode, as the boot-mode
// programming sees it through the bridge: synchronisation, inquiry,
// selection, erase areas, the bit-rate switch, the programming-state
// transition with its ID code check, block erase, programming with flash
// semantics (a write only clears bits, so a block programmed without an
// erase reads back wrong) and read-back. Faults can be switched on.
//
// Bytes go in with Receive() and the replies come out with TakeReply();
// the object keeps no time.
//
// Thread contract: one thread at a time.

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace velmora::sim {

struct SimBootFaults {
    bool noSync = false;            // never answers the synchronisation
    std::uint8_t transition = 0x06; // the state-transition reply: 0x06, 0x16 or 0x56
    bool refuseId = false;          // the ID code check answers 0xE0
    int corruptBlock = -1;          // the read-back of this block has one byte changed
};

class SimBootMcu {
public:
    static constexpr std::uint32_t kFlashStart = 0xFFFE0000;
    static constexpr std::size_t kFlashBytes = 0x20000;
    // Two erase areas: the program flash in 16 blocks of 8 KiB, and a data
    // area the protection state 2 erases too.
    static constexpr std::uint32_t kEraseBlock = 0x2000;
    static constexpr std::uint32_t kDataStart = 0x00100000;
    static constexpr std::array<std::uint8_t, 4> kDeviceCode = {0x52, 0x35, 0x46, 0x31};

    SimBootMcu();

    // The pins put the device into boot mode: it waits for synchronisation.
    void EnterBootMode();
    // Whether it runs its program (after the normal restart).
    bool Running() const { return m_bRunning; }
    void Restart();

    // The host's line rate; bytes sent at a rate other than the device's
    // arrive garbled.
    void SetHostRate(std::uint32_t rate) { m_hostRate = rate; }

    void Receive(std::span<const std::uint8_t> bytes);
    bool HasReply() const { return !m_out.empty(); }
    std::uint8_t TakeReply();

    SimBootFaults& Faults() { return m_faults; }
    const std::vector<std::uint8_t>& Flash() const { return m_flash; }
    int BlocksErased() const { return m_nErased; }
    bool DataAreaErased() const { return m_bDataErased; }
    bool IdChecked() const { return m_bIdChecked; }
    const std::array<std::uint8_t, 16>& IdReceived() const { return m_idReceived; }

private:
    void Handle(const std::vector<std::uint8_t>& command);
    std::size_t CommandLength() const;
    void Reply(std::initializer_list<std::uint8_t> bytes);
    void ReplyWithSum(std::vector<std::uint8_t> bytes);

    SimBootFaults m_faults;
    std::vector<std::uint8_t> m_flash;
    std::deque<std::uint8_t> m_out;
    std::vector<std::uint8_t> m_in;
    std::uint32_t m_hostRate = 19'200;
    std::uint32_t m_deviceRate = 19'200;
    bool m_bBootMode = false;
    bool m_bRunning = true;
    bool m_bSynced = false;
    int m_nZeros = 0;
    int m_nErased = 0;
    bool m_bDataErased = false;
    bool m_bIdChecked = false;
    std::array<std::uint8_t, 16> m_idReceived{};
};

} // namespace velmora::sim
