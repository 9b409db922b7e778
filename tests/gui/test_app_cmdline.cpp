#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

CommandLine Parse(QStringList args)
{
    args.prepend(QStringLiteral("velmora"));
    return ParseCommandLine(args);
}

TEST(AppCommandLine, FileRepeatedPortsAndConnect)
{
    const CommandLine cl = Parse({"--port", "/dev/pts/3", "settings.ini", "--port=/dev/ttyUSB1", "--connect"});
    ASSERT_EQ(cl.action, CommandLine::Action::Run);
    EXPECT_EQ(cl.options.ports, (std::vector<std::string>{"/dev/pts/3", "/dev/ttyUSB1"}));
    EXPECT_TRUE(cl.options.connect);
    ASSERT_TRUE(cl.options.file.has_value());
    EXPECT_EQ(*cl.options.file, "settings.ini");

    const CommandLine bare = Parse({});
    ASSERT_EQ(bare.action, CommandLine::Action::Run);
    EXPECT_TRUE(bare.options.ports.empty());
    EXPECT_FALSE(bare.options.connect);
    EXPECT_FALSE(bare.options.file.has_value());

    // A file whose name looks like an option, after "--"; and a Japanese name.
    const CommandLine dashed = Parse({"--", "--odd.ini"});
    ASSERT_EQ(dashed.action, CommandLine::Action::Run);
    EXPECT_EQ(dashed.options.file, std::optional<std::string>("--odd.ini"));
    EXPECT_EQ(Parse({"設定.ini"}).options.file, std::optional<std::string>("設定.ini"));
}

TEST(AppCommandLine, BadArgumentsAreRefusedWithAMessage)
{
    for (const QStringList& bad : {QStringList{"--bogus"}, QStringList{"a.ini", "b.ini"}, QStringList{"--port"},
                                   QStringList{"--port="}, QStringList{"--connect=yes"}}) {
        const CommandLine cl = Parse(bad);
        EXPECT_EQ(cl.action, CommandLine::Action::Error) << bad.join(' ').toStdString();
        EXPECT_TRUE(cl.text.startsWith("velmora: ")) << cl.text.toStdString();
        EXPECT_TRUE(cl.text.contains("--help")) << cl.text.toStdString();
    }
    EXPECT_TRUE(Parse({"--bogus"}).text.contains("bogus"));
    EXPECT_EQ(kExitUsage, 2);
}

TEST(AppCommandLine, HelpAndVersion)
{
    const CommandLine help = Parse({"--port", "/dev/pts/1", "--help"});
    EXPECT_EQ(help.action, CommandLine::Action::Help);
    EXPECT_TRUE(help.text.contains("--port PATH"));
    EXPECT_EQ(Parse({"-h"}).action, CommandLine::Action::Help);

    const CommandLine version = Parse({"--version"});
    EXPECT_EQ(version.action, CommandLine::Action::Version);
    EXPECT_EQ(version.text, QStringLiteral("velmora " VELMORA_VERSION "\n"));
}

} // namespace
} // namespace velmora
