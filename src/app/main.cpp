// velmora: the windowed operating program of the analog output generator.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>

#include "app/AppSetup.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "app/CommandLine.h"
#include "app/QtPrompter.h"
#include "platform/Clock.h"
#include "platform/Language.h"

namespace {

int g_signalPipe[2] = {-1, -1};
bool g_bStopRequested = false;

void OnStopSignal(int)
{
    const char byte = 1;
    // Nothing else may be done in a signal handler; the notifier below does
    // the rest on the UI thread.
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
}

// A terminated program must not leave the unit's outputs on: SIGTERM,
// SIGINT and SIGHUP end every event loop (a modal dialog's too, also one
// still open during start-up), and the ordinary tear-down switches every
// output off and disconnects.
void StopGracefullyOnSignals(QObject* owner)
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte = 0;
        while (read(g_signalPipe[0], &byte, 1) > 0) { }
        g_bStopRequested = true;
        // Unlike quit(), exit() also ends the loops of dialogs, and nested
        // loops started afterwards return at once.
        QCoreApplication::exit(0);
    });
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const velmora::CommandLine commandLine = velmora::ParseCommandLine(arguments);
    velmora::SetLanguage(commandLine.options.language.value_or(velmora::LanguageFromEnvironment()));
    switch (commandLine.action) {
    case velmora::CommandLine::Action::Help:
    case velmora::CommandLine::Action::Version:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
        return 0;
    case velmora::CommandLine::Action::Error:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
        return velmora::kExitUsage;
    case velmora::CommandLine::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    velmora::PrepareApplication(app);

    velmora::QtPrompter prompter;
    int status = 0;
    {
        velmora::CVelmoraApp velmora(prompter, velmora::SteadyClock());
        StopGracefullyOnSignals(&velmora);
        // A stop during start-up would be forgotten by exec(), which clears
        // the request; it is honoured here instead.
        if (velmora.InitInstance(commandLine.options) && !g_bStopRequested) {
            prompter.SetParentWindow(velmora.MainFrame());
            status = app.exec();
        }
        // Leaving the scope tears the application down: outputs off, the
        // state file and the recent list written.
    }
    return status;
}
