#pragma once
// The unit as a SCPI instrument: the command tree over the panel session's
// operations, one parser path and IEEE 488.2 status model per client. The
// window and velmoractl serve each hold one, behind a RemoteServer; the
// operator's panel and every client then share one instrument, and what a
// client changes goes through the same ChannelOperations as a button.
//
// Values on the wire are in base units: amperes for a current range, volts
// for a voltage range; the loop check's (LCHeck) are in its own units, the
// signal in mA or V and the readings in the tag's unit, as its results keep
// them. The ramp and list values are in the formula's
// engineering units while the channel's conversion formula is in use, as
// the settings dialog shows them.
//
// Thread contract: the session's thread only (the UI thread in the window).

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/RemoteServer.h"
#include "remote/ScpiParser.h"
#include "remote/ScpiStatus.h"

namespace velmora {
class PanelSession;
class LoopCheckDatabase;
class LoopCheckProcedure;
} // namespace velmora

namespace velmora::remote {

struct ScpiCommand;

class ScpiInstrument final : public LineService {
public:
    explicit ScpiInstrument(std::shared_ptr<PanelSession> session);
    ~ScpiInstrument() override;
    ScpiInstrument(const ScpiInstrument&) = delete;
    ScpiInstrument& operator=(const ScpiInstrument&) = delete;

    // Whether every value given to the link is on the wire (for *OPC? and
    // *WAI); by default the link's send queue answers for the channels'
    // settings frames.
    void SetWireIdle(std::function<bool()> wireIdle) { m_wireIdle = std::move(wireIdle); }
    // False while the owner's own work holds the instrument.
    void SetReady(std::function<bool()> ready) { m_ready = std::move(ready); }
    // The USB serial number *IDN? gives; empty gives "0".
    void SetSerialNumber(std::string serial) { m_strSerial = std::move(serial); }

    // SYSTem:RWLock: the client holding the panel's output controls, or 0.
    ClientId LockHolder() const { return m_lockHolder; }
    std::function<void(ClientId)> onLockChanged;
    // A client connected, went or took the lock, for the record and the log.
    std::function<void(const std::string&)> onEvent;

    // LineService
    void ClientCame(ClientId id, const std::string& peer) override;
    void ClientRefused(const std::string& peer, const std::string& why) override;
    void ClientWent(ClientId id) override;
    bool Ready() const override;
    Outcome Execute(ClientId id, std::string_view line, std::string& response) override;
    Outcome Resume(ClientId id, std::string& response) override;
    void LineTooLong(ClientId id) override;

    // The status registers' conditions from the instrument as it is now
    // (alarms, running automatic outputs), for every client.
    void UpdateConditions();

    // LIST:VALues and LIST:DWELl arrive one at a time; each waits here until
    // the other has as many rows (or one dwell for every row).
    struct ListDraft {
        std::vector<double> values;
        std::vector<double> dwells;
    };
    ListDraft& Draft(int c) { return m_listDrafts[static_cast<std::size_t>(c)]; }
    // RAMP:BEGin, END, STEP and INTerval sent while the slot in use is a
    // list wait here for AUTO:MODE SAWTooth or TRIangle: the list's slot
    // keeps no ramp, and the ramp its mode would bring has no step, which
    // the settings' rules refuse. Values as the model keeps them (mA, V or
    // the formula's units), the interval in seconds.
    struct RampDraft {
        std::optional<double> begin;
        std::optional<double> end;
        std::optional<double> step;
        std::optional<double> interval;
    };
    RampDraft& Ramp(int c) { return m_rampDrafts[static_cast<std::size_t>(c)]; }
    void ClearDrafts()
    {
        m_listDrafts = {};
        m_rampDrafts = {};
    }
    const std::string& SerialNumber() const { return m_strSerial; }
    // Takes (true) or gives back (false) the lock for `id`; false when
    // another client holds it.
    bool Lock(ClientId id, const std::string& peer, bool take);

    struct Client {
        std::string peer;
        scpi::StatusModel status;
        std::vector<scpi::MessageUnit> held; // units after a *WAI or *OPC?
        std::string response;                // the answers so far of a held message
        bool anyQuery = false;
    };
    struct Context;

private:
    Outcome Run(ClientId id, Client& client, std::vector<scpi::MessageUnit> units, std::string& response);
    bool WireIdle() const;
    Client& ClientOf(ClientId id);
    // A remote event for the run record, when the session keeps one.
    void Record(const char* action, const std::string& peer, const std::string& text = {});

    std::shared_ptr<PanelSession> m_pSession;
    std::vector<ScpiCommand> m_commands;
    std::map<ClientId, Client> m_clients;
    std::function<bool()> m_wireIdle;
    std::function<bool()> m_ready;
    std::string m_strSerial;
    ClientId m_lockHolder = 0;
    std::array<ListDraft, 4> m_listDrafts{};
    std::array<RampDraft, 4> m_rampDrafts{};
    // A loop check a client runs (LCHeck), and the client: a test whose
    // client goes is aborted, which puts its channel back. The database is
    // opened when the first test starts.
    std::unique_ptr<LoopCheckDatabase> m_pLoopDb;
    std::unique_ptr<LoopCheckProcedure> m_pLoopCheck;
    ClientId m_loopOwner = 0;

    friend struct Context;
    friend void BuildCommandTree(ScpiInstrument& instrument);
    friend void LoopCheckCommands(std::vector<ScpiCommand>& tree);
};

} // namespace velmora::remote
