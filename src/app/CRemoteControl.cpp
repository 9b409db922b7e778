#include "app/CRemoteControl.h"

#include <QApplication>

#include <cstdio>

#include "link/PortDiscovery.h"
#include "panel/CVelmoraView.h"
#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"

namespace velmora {

CRemoteControl::CRemoteControl(CVelmoraView& view, QObject* parent)
    : QObject(parent),
      m_pView(&view),
      m_instrument(view.SharedSession()),
      m_server(m_instrument)
{
    // Lines wait while the operator's own work holds the instrument: a
    // dialog or a box (the range choice, an adjustment, the connect
    // sequence's questions), a paused tick.
    m_instrument.SetReady([this] {
        if (m_pView == nullptr)
            return false;
        PanelSession& session = m_pView->Session();
        return QApplication::activeModalWidget() == nullptr && !session.IsConnecting() && session.TimerWork();
    });
    m_instrument.onLockChanged = [this](remote::ClientId holder) {
        if (m_pView != nullptr)
            m_pView->SetRemoteLock(holder != 0);
        Q_EMIT StateChanged();
    };
    m_server.onClientCount = [this](std::size_t) { Q_EMIT StateChanged(); };
    // A refused or dropped client is not the operator's business; it is
    // kept on standard error, as velmoractl serve keeps it.
    m_server.onEvent = [](const std::string& text) { std::fprintf(stderr, "velmora: remote: %s\n", text.c_str()); };
    if (m_server.WaitFd() >= 0) {
        m_pNotifier = std::make_unique<QSocketNotifier>(m_server.WaitFd(), QSocketNotifier::Read);
        connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CRemoteControl::Service);
    }
    connect(&view, &CVelmoraView::ConnectionChanged, this, &CRemoteControl::ConnectionChanged);
    connect(&view, &CVelmoraView::TickDone, this, [this] {
        // The status registers latch an alarm or a run that comes and goes
        // between two messages of a client.
        m_instrument.UpdateConditions();
        m_server.Pump();
    });
    ConnectionChanged(view.IsConnected());
}

CRemoteControl::~CRemoteControl()
{
    m_pNotifier.reset();
    m_server.CloseAll();
}

void CRemoteControl::Service()
{
    m_server.Service();
}

void CRemoteControl::ConnectionChanged(bool connected)
{
    if (m_pView == nullptr)
        return;
    // Only a program that holds a port answers for it: velmoractl finds
    // the socket by the port's name.
    if (!connected) {
        m_server.StopLocal();
        m_strLocalPath.clear();
        Q_EMIT StateChanged();
        return;
    }
    const std::string port = m_pView->Session().Link().PortName();
    m_instrument.SetSerialNumber(UsbSerialOfPort(port));
    std::string reason;
    const auto path = remote::LocalSocketPath(port, &reason);
    if (!path) {
        std::fprintf(stderr, "velmora: no local socket for %s: %s\n", port.c_str(), reason.c_str());
        return;
    }
    const remote::ListenResult result = m_server.ListenLocal(*path);
    if (!result.Ok()) {
        std::fprintf(stderr, "velmora: %s\n", result.text.c_str());
        return;
    }
    m_strLocalPath = *path;
    Q_EMIT StateChanged();
}

std::optional<QString> CRemoteControl::ListenTcp(const remote::TcpEndpoint& endpoint,
                                                 const std::vector<remote::Cidr>& allow)
{
    const remote::ListenResult result = m_server.ListenTcp(endpoint, allow);
    Q_EMIT StateChanged();
    if (result.Ok()) {
        m_tcp = endpoint;
        return std::nullopt;
    }
    if (result.error == remote::ListenError::NotLoopback)
        return tr("%1 はこのコンピューターの外から届くアドレスです。--scpi-allow "
                  "で許可するネットワークを指定してください。")
            .arg(QString::fromStdString(result.text));
    return QString::fromStdString(result.text);
}

void CRemoteControl::StopTcp()
{
    m_server.StopTcp();
    Q_EMIT StateChanged();
}

QString CRemoteControl::TcpAddress() const
{
    if (!m_server.IsListeningTcp())
        return {};
    return QString::fromStdString(m_tcp.host) + QLatin1Char(':') + QString::number(m_server.TcpPort());
}

} // namespace velmora
