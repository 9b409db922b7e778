// velmoractl: drives a unit from the command line, one command per run.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "platform/Language.h"

using namespace velmora::ctl;

namespace {

void PrintHelp(FILE* out)
{
    std::fprintf(out, "usage: velmoractl [--port PATH] [--lang en|ja] COMMAND [ARGS]\n\ncommands:\n");
    for (const auto& c : CommandTable())
        std::fprintf(out, "  velmoractl %s%s\n", c.needsPort ? "--port PATH " : "", c.usage);
    std::fprintf(out, "\nPATH is a device under /dev (ttyUSB0) or an absolute path (/dev/pts/3).\n"
                      "Exit status: 0 success, 1 the unit did not answer, 2 usage error, 3 file refused.\n");
}

} // namespace

namespace velmora::ctl {

int UsageError(const Command& cmd, const std::string& text)
{
    std::fprintf(stderr, "velmoractl: %s\nusage: velmoractl %s%s\n", text.c_str(),
                 cmd.needsPort ? "--port PATH " : "", cmd.usage);
    return kExitUsage;
}

} // namespace velmora::ctl

int main(int argc, char** argv)
{
    Invocation inv;
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
                std::fprintf(stderr, "velmoractl: --port needs a path\n");
                return kExitUsage;
            }
            inv.port = argv[++i];
            continue;
        }
        if (std::strncmp(a, "--port=", 7) == 0) {
            inv.port = a + 7;
            continue;
        }
        const bool langJoined = std::strncmp(a, "--lang=", 7) == 0;
        if (langJoined || std::strcmp(a, "--lang") == 0) {
            if (!langJoined && i + 1 >= argc) {
                std::fprintf(stderr, "velmoractl: --lang needs en or ja\n");
                return kExitUsage;
            }
            const char* value = langJoined ? a + 7 : argv[++i];
            const auto language = velmora::ParseLanguage(value);
            if (!language) {
                std::fprintf(stderr, "velmoractl: --lang is en or ja, not '%s'\n", value);
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

    for (const auto& c : CommandTable()) {
        if (name != c.name)
            continue;
        if (c.needsPort && inv.port.empty())
            return UsageError(c, "this command needs --port PATH");
        return c.run(inv);
    }
    std::fprintf(stderr, "velmoractl: unknown command '%s' (see --help)\n", name.c_str());
    return kExitUsage;
}
