#include "app/CommandLine.h"

#include <QCommandLineParser>

#include "record/RecordPlace.h"

namespace velmora {

QString UsageText()
{
    return QStringLiteral("Usage: velmora [--port PATH]... [--connect] [--lang en|ja]\n"
                          "               [--scpi [HOST:]PORT [--scpi-allow CIDR[,CIDR...]]]\n"
                          "               [--no-record | --record-limit SIZE] [FILE]\n"
                          "Operates the analog output generator.\n"
                          "\n"
                          "  FILE           settings document (.ini) to open at start-up\n"
                          "  --port PATH    add the serial device PATH to the port list (repeatable);\n"
                          "                 it is preselected when the remembered port is absent\n"
                          "  --connect      connect to the selected port once the window is up\n"
                          "  --lang en|ja   the interface's language; otherwise English for a locale\n"
                          "                 whose language is English (LC_ALL, LC_MESSAGES, LANG),\n"
                          "                 Japanese for every other\n"
                          "  --scpi [HOST:]PORT  answer SCPI over TCP (raw socket; host 127.0.0.1,\n"
                          "                 port 5025 by default); a host beyond this machine needs\n"
                          "  --scpi-allow CIDR[,CIDR...]  the networks whose clients are let in\n"
                          "  --no-record    keep no run record this run\n"
                          "  --record-limit SIZE  the run record's size past which its oldest events\n"
                          "                 go: bytes, or 500M, 2G (1G by default); the record is\n"
                          "                 VELMORA_RECORD, else $XDG_STATE_HOME/velmora/record.sqlite3\n"
                          "  --help         show this help and exit\n"
                          "  --version      show the version and exit\n");
}

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption connect(QStringLiteral("connect"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption lang(QStringLiteral("lang"), QString(), QStringLiteral("LANG"));
    const QCommandLineOption scpi(QStringLiteral("scpi"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption scpiAllow(QStringLiteral("scpi-allow"), QString(), QStringLiteral("CIDR"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"));
    const QCommandLineOption recordLimit(QStringLiteral("record-limit"), QString(), QStringLiteral("SIZE"));
    parser.addOptions({port, connect, help, version, lang, scpi, scpiAllow, noRecord, recordLimit});
    parser.addPositionalArgument(QStringLiteral("FILE"), QString(), QStringLiteral("[FILE]"));

    auto fail = [&result](const QString& text) {
        result.action = CommandLine::Action::Error;
        result.text =
            QStringLiteral("velmora: ") + text + QStringLiteral("\nTry 'velmora --help' for more information.\n");
        return result;
    };

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        result.text = UsageText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        result.text = QStringLiteral("velmora " VELMORA_VERSION "\n");
        return result;
    }

    for (const QString& path : parser.values(port)) {
        if (path.isEmpty())
            return fail(QStringLiteral("--port needs a device path"));
        result.options.ports.push_back(path.toStdString());
    }
    result.options.connect = parser.isSet(connect);
    if (parser.isSet(lang)) {
        const QString value = parser.value(lang);
        result.options.language = ParseLanguage(value.toStdString());
        if (!result.options.language)
            return fail(QStringLiteral("--lang is en or ja, not '%1'").arg(value));
    }

    if (parser.isSet(scpi)) {
        const QString value = parser.value(scpi);
        result.options.scpi = remote::ParseTcpEndpoint(value.toStdString());
        if (!result.options.scpi)
            return fail(QStringLiteral("--scpi takes [HOST:]PORT with an IPv4 host, not '%1'").arg(value));
    }
    if (parser.isSet(scpiAllow)) {
        const QString value = parser.value(scpiAllow);
        const auto list = remote::ParseCidrList(value.toStdString());
        if (!list)
            return fail(QStringLiteral("--scpi-allow takes networks such as 192.168.1.0/24, not '%1'").arg(value));
        if (!result.options.scpi)
            return fail(QStringLiteral("--scpi-allow needs --scpi"));
        result.options.scpiAllow = *list;
    }
    if (result.options.scpi && !remote::IsLoopbackHost(result.options.scpi->host) && result.options.scpiAllow.empty())
        return fail(QStringLiteral("--scpi %1 reaches beyond this machine: name who may connect with --scpi-allow")
                        .arg(QString::fromStdString(result.options.scpi->host)));

    result.options.record = !parser.isSet(noRecord);
    if (parser.isSet(recordLimit)) {
        const QString value = parser.value(recordLimit);
        result.options.recordLimit = ParseRecordLimit(value.toStdString());
        if (!result.options.recordLimit)
            return fail(
                QStringLiteral("--record-limit takes a size of at least 1M, such as 500M or 2G, not '%1'").arg(value));
        if (!result.options.record)
            return fail(QStringLiteral("--record-limit and --no-record contradict each other"));
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("only one settings file may be named, not %1").arg(files.size()));
    if (files.size() == 1) {
        if (files.front().isEmpty())
            return fail(QStringLiteral("the settings file name is empty"));
        result.options.file = files.front().toStdString();
    }
    return result;
}

} // namespace velmora
