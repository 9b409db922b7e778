// The headless server: the unit connected as the panel connects it, polled,
// its automatic outputs run, and SCPI answered on the local socket and,
// when asked, over TCP. On SIGINT, SIGTERM or a lost unit every output is
// written off, as the window does when it closes.
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "CtlLink.h"
#include "CtlRecord.h"
#include "CtlTicks.h"
#include "link/PortDiscovery.h"
#include "model/CVelmoraDoc.h"
#include "panelcore/PanelSession.h"
#include "panelcore/PanelTexts.h"
#include "platform/Translate.h"
#include "protocol/LinkFactory.h"
#include "remote/RemoteServer.h"
#include "remote/ScpiInstrument.h"

namespace velmora::ctl {

namespace {

struct ServeArgs {
    std::optional<remote::TcpEndpoint> tcp;
    std::vector<remote::Cidr> allow;
    std::optional<std::string> settings;
};

std::optional<std::string> ParseServeArgs(const std::vector<std::string>& args, ServeArgs& out)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (auto scpi = OptionValue(args, i, "--scpi")) {
            if (!*scpi)
                return Tr(N_("--scpi needs [HOST:]PORT"));
            out.tcp = remote::ParseTcpEndpoint(**scpi);
            if (!out.tcp)
                return TrFormat(N_("--scpi takes [HOST:]PORT with an IPv4 host, not '%1'"), {**scpi});
        } else if (auto allow = OptionValue(args, i, "--scpi-allow")) {
            const auto list = *allow ? remote::ParseCidrList(**allow) : std::nullopt;
            if (!list)
                return TrFormat(N_("--scpi-allow takes networks such as 192.168.1.0/24, not '%1'"),
                                {allow->value_or("")});
            out.allow = *list;
        } else if (auto file = OptionValue(args, i, "--settings")) {
            if (!*file)
                return Tr(N_("--settings needs a settings file"));
            out.settings = **file;
        } else {
            return TrFormat(N_("unexpected argument '%1'"), {args[i]});
        }
    }
    if (!out.allow.empty() && !out.tcp)
        return Tr(N_("--scpi-allow needs --scpi"));
    if (out.tcp && !remote::IsLoopbackHost(out.tcp->host) && out.allow.empty())
        return TrFormat(N_("--scpi %1 reaches beyond this machine: name who may connect with --scpi-allow"),
                        {out.tcp->host});
    return std::nullopt;
}

void Log(const std::string& text)
{
    std::fprintf(stderr, "velmoractl serve: %s\n", text.c_str());
}

} // namespace

int RunServe(const Invocation& inv)
{
    const Command& cmd = FindCommand("serve");
    ServeArgs args;
    if (const auto error = ParseServeArgs(inv.args, args))
        return UsageError(cmd, *error);

    StderrPrompter prompter;
    // The settings of the working folder's state file, as the window starts
    // with them; a named file replaces them.
    CVelmoraDoc doc(prompter);
    if (args.settings) {
        const OpenResult opened = doc.OpenDocument(*args.settings);
        if (opened == OpenResult::CannotOpen) {
            std::fprintf(stderr, "velmoractl: %s\n", TrFormat(kMsgCannotOpen, {*args.settings}).c_str());
            return kExitFileRefused;
        }
        if (opened != OpenResult::Read)
            return kExitFileRefused;
    }

    std::string reason;
    const auto socketPath = remote::LocalSocketPath(inv.port, &reason);
    if (!socketPath) {
        std::fprintf(stderr, "velmoractl: %s\n", reason.c_str());
        return kExitUsage;
    }

    // Before the link starts its reader thread, which inherits the mask.
    BlockStopSignals();
    auto link = MakeGeneratorLink(SteadyClock(), prompter);
    const auto session = PanelSession::Create(doc, *link, prompter);
    RecordThrough(*session, inv, record_source::kServe);
    remote::ScpiInstrument instrument(session);
    remote::RemoteServer server(instrument);
    server.onEvent = Log;
    instrument.onEvent = Log;

    // The socket first: a second server on the same port is refused before
    // it touches the unit.
    const remote::ListenResult local = server.ListenLocal(*socketPath);
    if (!local.Ok()) {
        std::fprintf(stderr, "velmoractl: %s\n", local.text.c_str());
        return kExitNoAnswer;
    }
    if (args.tcp) {
        const remote::ListenResult tcp = server.ListenTcp(*args.tcp, args.allow);
        if (!tcp.Ok()) {
            std::fprintf(stderr, "velmoractl: %s\n", tcp.text.c_str());
            return kExitUsage;
        }
    }

    if (session->Connect(inv.port) != PanelSession::ConnectOutcome::Connected)
        return kExitNoAnswer;
    instrument.SetSerialNumber(UsbSerialOfPort(inv.port));
    // From here every way out writes the outputs off and disconnects.
    struct Shutdown {
        PanelSession& session;
        remote::RemoteServer& server;
        ~Shutdown()
        {
            server.CloseAll();
            session.ShutdownForClose();
        }
    } const shutdown{*session, server};

    Clock& clock = link->GetClock();
    TickLoop ticks(clock);
    ticks.WatchInput(server.WaitFd());
    if (!ticks.Start()) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("the tick cannot be started")));
        return kExitNoAnswer;
    }
    Log(TrFormat(N_("serving %1 on %2"), {inv.port, *socketPath}));
    if (args.tcp)
        Log(TrFormat(N_("SCPI on %1:%2"), {args.tcp->host, std::to_string(server.TcpPort())}));
    for (;;) {
        const TickLoop::Wake wake = ticks.Wait();
        if (wake == TickLoop::Wake::Stop)
            break;
        if (wake == TickLoop::Wake::Input) {
            server.Service();
            continue;
        }
        session->OnTick();
        if (!session->IsConnected())
            return kExitNoAnswer;
        instrument.UpdateConditions();
        server.Pump();
    }
    return kExitOk;
}

} // namespace velmora::ctl
