#pragma once
// The serial channel: the normal way to the unit, over its USB-serial port.
//
// Thread contract. Two threads touch the channel:
//  - the UI thread calls every member. It alone opens and closes the port,
//    writes, and consumes the receive ring (Pop, TakeErrors: it alone writes
//    the ring's tail index and clears the error flags);
//  - the reader thread, which runs from Connect to Disconnect, blocks in the
//    port's Read and is the ring's only producer: it writes the slots and the
//    head index and raises the error flags, then signals m_wake. It reads
//    nothing else of the channel but the run flag m_bConnected and the stop
//    request. The port's own contract lets Write run beside its Read.
// The ring, its indices and its error flags outlive Connect and Disconnect;
// the exchanges drain what was left over.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/ByteChannel.h"
#include "link/ReceiveRing.h"
#include "platform/Prompter.h"
#include "platform/SerialPort.h"

namespace velmora {

class SerialChannel final : public ByteChannel {
public:
    // Makes the port the channel opens; empty means the POSIX terminal port.
    using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

    static constexpr std::size_t kRingSize = 512;
    // Kept as the last diagnostic when the driver refused the line settings;
    // the port is then used with whatever settings it has.
    static constexpr const char* kSettingsRejectedText = "RS232C SetCommState Error\n";

    explicit SerialChannel(Prompter& prompter, const PortFactory& factory = {});
    ~SerialChannel() override;
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // True when connected. A port that cannot be opened is shown to the
    // operator as "<port name>は使えません" and gives false.
    bool Connect();
    // Stops the reader thread and closes the port; nothing when not connected.
    void Disconnect();
    // Hands the bytes over for sending; not awaited, errors not reported.
    void WriteBytes(std::span<const std::uint8_t> bytes);

    bool Open() override { return Connect(); }
    void Close() override { Disconnect(); }
    bool IsOpen() const override { return m_bConnected.load(std::memory_order_acquire); }
    void Write(std::span<const std::uint8_t> bytes) override { WriteBytes(bytes); }
    LineResult ReadLine(LineBuffer& line) override;
    bool WaitForInput(Clock& clock, Nanos deadline) override;

    // The last thing worth knowing about the port that was not shown to the
    // operator: why an open failed, or kSettingsRejectedText. Empty if none.
    const std::string& LastDiagnostic() const { return m_strLastDiagnostic; }
    // True once the reader found the device gone (cable pulled); cleared by
    // the next Connect.
    bool DeviceGone() const { return m_bDeviceGone.load(std::memory_order_acquire); }

private:
    void ReaderLoop();

    Prompter& m_prompter;
    std::unique_ptr<SerialPort> m_port;
    ReceiveRing<kRingSize> m_ring;
    WakeEvent m_wake;
    std::thread m_reader;
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bDeviceGone{false};
    std::mutex m_stopMutex;
    std::condition_variable m_stopCv;
    bool m_bStop = false;
    std::string m_strLastDiagnostic;
};

} // namespace velmora
