// velmoractl: drives a unit from the command line, one command per run.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "CtlRecord.h"
#include "CtlJson.h"
#include "platform/Language.h"
#include "platform/Translate.h"
#include "record/RecordPlace.h"

using namespace velmora::ctl;
using velmora::Tr;

namespace {

void PrintHelp(FILE* out)
{
    std::fprintf(out,
                 "usage: velmoractl [--port PATH] [--lang en|ja] [--no-record | --record-limit SIZE] COMMAND "
                 "[ARGS]\n\ncommands:\n");
    for (const auto& c : CommandTable())
        std::fprintf(out, "  velmoractl %s%s\n", c.needsPort ? "--port PATH " : "", c.usage);
    std::fprintf(out, "\n%s\n%s\n",
                 velmora::Tr(N_("PATH is a device under /dev (ttyUSB0) or an absolute path (/dev/pts/3).")),
                 velmora::Tr(N_("Exit status: 0 success, 1 the unit did not answer, 2 usage error, 3 file refused, 4 a "
                                "loop check failed or a "
                                "result was changed, 5 a loop check was stopped.")));
}

// Takes --no-record and --record-limit SIZE out of `args` into `inv`. False,
// the complaint printed, for a size that is missing or not one.
bool TakeRecordOptions(std::vector<std::string>& args, Invocation& inv)
{
    for (std::size_t k = 0; k < args.size();) {
        const std::string& a = args[k];
        if (a == "--no-record") {
            inv.record = false;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(k));
            continue;
        }
        if (a != "--record-limit" && a.rfind("--record-limit=", 0) != 0) {
            ++k;
            continue;
        }
        const bool joined = a != "--record-limit";
        if (!joined && k + 1 >= args.size()) {
            std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("--record-limit needs a size such as 500M")));
            return false;
        }
        const std::string value = joined ? a.substr(15) : args[k + 1];
        inv.recordLimit = velmora::ParseRecordLimit(value);
        if (!inv.recordLimit) {
            std::fprintf(stderr, "velmoractl: %s\n",
                         velmora::TrFormat(
                             N_("--record-limit takes a size of at least 1M, such as 500M or 2G, not '%1'"), {value})
                             .c_str());
            return false;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(k),
                   args.begin() + static_cast<std::ptrdiff_t>(k + (joined ? 1 : 2)));
    }
    return true;
}

// Whether the row that `args` choose of command `name` takes --json: the
// command's one row, or of a command with sub-commands (adjust, firmware,
// settings) the row of the sub-command named. A row that does not take it
// keeps --json among its arguments, and refuses it as any unknown option.
bool TakesJson(const std::string& name, const std::vector<std::string>& args)
{
    std::vector<const Command*> rows;
    for (const auto& c : CommandTable())
        if (name == c.name)
            rows.push_back(&c);
    if (rows.size() == 1)
        return rows[0]->json;
    const auto sub = std::find_if(args.begin(), args.end(), [](const std::string& a) { return a != kJsonFlag; });
    if (sub == args.end())
        return false;
    const std::string head = name + " " + *sub;
    return std::any_of(rows.begin(), rows.end(), [&head](const Command* c) {
        const std::string usage = c->usage;
        return c->json && usage.starts_with(head) && (usage.size() == head.size() || usage[head.size()] == ' ');
    });
}

} // namespace

namespace velmora::ctl {

int UsageError(const Command& cmd, const std::string& text)
{
    std::fprintf(stderr, "velmoractl: %s\nusage: velmoractl %s%s\n", text.c_str(), cmd.needsPort ? "--port PATH " : "",
                 cmd.usage);
    return kExitUsage;
}

} // namespace velmora::ctl

int main(int argc, char** argv)
{
    Invocation inv;
    std::vector<std::string> recordOptions;
    velmora::SetLanguage(velmora::LanguageFromEnvironment());
    int i = 1;
    for (; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            PrintHelp(stdout);
            return kExitOk;
        }
        if (std::strcmp(a, "--port") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("--port needs a path")));
                return kExitUsage;
            }
            inv.port = argv[++i];
            continue;
        }
        if (std::strcmp(a, "--no-record") == 0 || std::strncmp(a, "--record-limit", 14) == 0) {
            recordOptions.emplace_back(a);
            if (std::strcmp(a, "--record-limit") == 0 && i + 1 < argc)
                recordOptions.emplace_back(argv[++i]);
            continue;
        }
        if (std::strncmp(a, "--port=", 7) == 0) {
            inv.port = a + 7;
            continue;
        }
        const bool langJoined = std::strncmp(a, "--lang=", 7) == 0;
        if (langJoined || std::strcmp(a, "--lang") == 0) {
            if (!langJoined && i + 1 >= argc) {
                std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("--lang needs en or ja")));
                return kExitUsage;
            }
            const char* value = langJoined ? a + 7 : argv[++i];
            const auto language = velmora::ParseLanguage(value);
            if (!language) {
                std::fprintf(stderr, "velmoractl: %s\n",
                             velmora::TrFormat(N_("--lang is en or ja, not '%1'"), {value}).c_str());
                return kExitUsage;
            }
            velmora::SetLanguage(*language);
            continue;
        }
        break;
    }
    if (i >= argc) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string name = argv[i++];
    for (; i < argc; ++i)
        inv.args.emplace_back(argv[i]);
    // The record's options may also follow the command (serve --no-record);
    // scpi's arguments are the instrument's text and stay as they are.
    if (!TakeRecordOptions(recordOptions, inv) || (name != "scpi" && !TakeRecordOptions(inv.args, inv)))
        return kExitUsage;
    if (!inv.record && inv.recordLimit) {
        std::fprintf(stderr, "velmoractl: %s\n", Tr(N_("--record-limit and --no-record contradict each other")));
        return kExitUsage;
    }
    if (TakesJson(name, inv.args))
        inv.json = TakeJsonFlag(inv.args);

    for (const auto& c : CommandTable()) {
        if (name != c.name)
            continue;
        if (c.needsPort && inv.port.empty())
            return UsageError(c, Tr(N_("this command needs --port PATH")));
        const int rc = c.run(inv);
        CloseRecord();
        return rc;
    }
    std::fprintf(stderr, "velmoractl: %s\n",
                 velmora::TrFormat(N_("unknown command '%1' (see --help)"), {name}).c_str());
    return kExitUsage;
}
