#pragma once
// The program's command line:
//   velmora [--port PATH]... [--connect] [--lang en|ja] [FILE]
//   velmora --help | --version

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/Language.h"

#include "remote/RemoteServer.h"

namespace velmora {

struct AppOptions {
    // Ports discovery cannot see (a simulated unit's pseudo-terminal).
    std::vector<std::string> ports;
    // Press 接続 once the window is up, for benches that start unattended.
    bool connect = false;
    // A settings document to open instead of starting a new one.
    std::optional<std::string> file;
    // --lang; otherwise the locale decides.
    std::optional<Language> language;
    // --scpi [HOST:]PORT: listen for SCPI over TCP from the start.
    std::optional<remote::TcpEndpoint> scpi;
    // --scpi-allow CIDR[,CIDR...]: who may come from beyond loopback.
    std::vector<remote::Cidr> scpiAllow;
    // --no-record: keep no run record this run.
    bool record = true;
    // --record-limit SIZE: the record's size past which the oldest go.
    std::optional<std::int64_t> recordLimit;
};

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    AppOptions options;
    // The help or version text, or the complaint about the arguments.
    QString text;
};

inline constexpr int kExitUsage = 2;

// `arguments` begins with the program's name. Qt's own options are not
// accepted here: the caller parses before any Qt application exists, so
// that --help and --version work without a display.
CommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();

} // namespace velmora
