#pragma once
// Remote control in the window: the SCPI instrument over the panel's
// session, its local socket while a port is held, and the TCP listener when
// the operator switches it on (menu or --scpi). The sockets are watched by
// one QSocketNotifier on the server's epoll descriptor, so that every line
// runs on the UI thread between the panel's own events; held messages and
// waiting lines go on at every tick.
//
// Thread contract: UI thread only.

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "remote/RemoteServer.h"
#include "remote/ScpiInstrument.h"

namespace velmora {

class CVelmoraView;

class CRemoteControl : public QObject {
    Q_OBJECT
public:
    explicit CRemoteControl(CVelmoraView& view, QObject* parent = nullptr);
    ~CRemoteControl() override;

    // TCP on or off; an error text when it could not listen.
    std::optional<QString> ListenTcp(const remote::TcpEndpoint& endpoint, const std::vector<remote::Cidr>& allow);
    void StopTcp();
    bool IsListeningTcp() const { return m_server.IsListeningTcp(); }
    // "127.0.0.1:5025" while listening, else empty.
    QString TcpAddress() const;
    std::size_t ClientCount() const { return m_server.ClientCount(); }
    const std::string& LocalSocket() const { return m_strLocalPath; }
    remote::ScpiInstrument& Instrument() { return m_instrument; }
    remote::RemoteServer& Server() { return m_server; }

Q_SIGNALS:
    // Clients came or went, the lock changed, TCP went on or off.
    void StateChanged();

private:
    void ConnectionChanged(bool connected);
    void Service();

    QPointer<CVelmoraView> m_pView;
    remote::ScpiInstrument m_instrument;
    remote::RemoteServer m_server;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::string m_strLocalPath;
    remote::TcpEndpoint m_tcp;
};

} // namespace velmora
