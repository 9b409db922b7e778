// Each fault of the simulated unit spoils its output the way it is named,
// and the output is right again once the fault is switched off.
#include <gtest/gtest.h>

#include <cctype>

#include "SimUnit.h"

using namespace velmora;
using namespace velmora::sim;

namespace {

const Nanos kT0 = std::chrono::seconds(5);

std::string Ask(SimUnit& unit, std::string_view host)
{
    unit.Receive(kT0, host);
    return unit.TakeDue(kT0);
}

// True when `line` starts the way a reply the host accepts does.
bool LooksLikeAReply(const std::string& line)
{
    return line.starts_with("VER") || line.starts_with("CH") || line.starts_with("OK") || line.starts_with("\x02R") ||
        line.starts_with("\x02"
                         "A") ||
        line.starts_with("\x02"
                         "CR");
}

TEST(SimFaults, SilentUnitAnswersNothingUntilSwitchedBack)
{
    SimUnit unit;
    unit.Faults().silent = true;
    EXPECT_EQ(Ask(unit, "VER\r\n\x02R1\r\n"), "");
    unit.Announce(kT0);
    EXPECT_FALSE(unit.HasPending());
    // The unit still listens while silent.
    Ask(unit,
        "\x02W105800010050008000000000000000000000000\x03"
        "C6\r\n");
    EXPECT_EQ(unit.Channel(0).rangeCode, 5);

    unit.Faults().silent = false;
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
}

TEST(SimFaults, SilentAfterCountsOutputLines)
{
    SimUnit unit;
    unit.SetSilentAfter(2);
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");
    EXPECT_EQ(Ask(unit, "VER\r\n"), "");
    unit.Announce(kT0);
    EXPECT_EQ(unit.TakeDue(kT0), "");

    // Setting a limit again starts a new count.
    unit.SetSilentAfter(1);
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "");
    unit.SetSilentAfter(0);
    EXPECT_EQ(Ask(unit, "CH\r\n"), "");

    unit.SetSilentAfter(std::nullopt);
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");
    EXPECT_EQ(unit.LinesSent(), 5);
}

TEST(SimFaults, GarbageReplacesEveryLineWithJunk)
{
    SimUnit unit;
    unit.Faults().garbage = true;
    // STX before "CINIU" in octal, which ends by itself before the C.
    const char* asks[] = {"VER\r\n", "CH\r\n", "\x02R1\r\n", "\002CINIU\x03\r\n", "VER\r\n", "VER\r\n"};
    std::vector<std::string> seen;
    for (const char* a : asks) {
        const std::string out = Ask(unit, a);
        ASSERT_GE(out.size(), 3u);
        EXPECT_TRUE(out.ends_with("\r\n"));
        EXPECT_EQ(out.find("\r\n"), out.size() - 2) << "one junk line per reply";
        EXPECT_FALSE(LooksLikeAReply(out));
        seen.push_back(out);
    }
    EXPECT_NE(seen[0], seen[1]) << "the junk varies";
    // Junk that carries a NUL byte is among it.
    bool nul = false;
    for (const auto& s : seen)
        nul = nul || s.find('\0') != std::string::npos;
    EXPECT_TRUE(nul);

    unit.Faults().garbage = false;
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
}

TEST(SimFaults, BadChecksumSpoilsOnlyTheChecksumOfFramedReplies)
{
    SimUnit unit;
    unit.Channel(0).statusWord = 0x0004;
    const std::string good = Ask(unit, "\x02R1\r\n");
    const std::string goodAdj = Ask(unit,
                                    "\x02"
                                    "CRU105\x03"
                                    "83\r\n");

    unit.Faults().badChecksum = true;
    const std::string bad = Ask(unit, "\x02R1\r\n");
    ASSERT_EQ(bad.size(), 58u);
    EXPECT_FALSE(VerifyFrame(bad, kStatusReplyLength));
    EXPECT_EQ(bad.substr(0, 54), good.substr(0, 54));
    EXPECT_NE(bad.substr(54, 2), good.substr(54, 2));
    EXPECT_EQ(bad.substr(56), "\r\n");

    const std::string badAdj = Ask(unit,
                                   "\x02"
                                   "CRU105\x03"
                                   "83\r\n");
    EXPECT_FALSE(VerifyFrame(badAdj, kAdjustReplyLength, 4));
    EXPECT_EQ(badAdj.substr(0, 20), goodAdj.substr(0, 20));

    // Plain lines have no checksum to spoil.
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");

    unit.Faults().badChecksum = false;
    EXPECT_EQ(Ask(unit, "\x02R1\r\n"), good);
}

TEST(SimFaults, WrongLengthKeepsAMatchingChecksum)
{
    SimUnit unit;
    unit.Faults().length = LengthFault::Short;
    std::string s = Ask(unit, "\x02R1\r\n");
    ASSERT_EQ(s.size(), 57u);
    EXPECT_FALSE(VerifyFrame(s, kStatusReplyLength));
    EXPECT_TRUE(VerifyFrame(s, 57)) << "only the length is wrong";
    std::string a = Ask(unit,
                        "\x02"
                        "CRM105\x03"
                        "7B\r\n");
    ASSERT_EQ(a.size(), 23u);
    EXPECT_TRUE(VerifyFrame(a, 23, 4));

    unit.Faults().length = LengthFault::Long;
    s = Ask(unit, "\x02R1\r\n");
    ASSERT_EQ(s.size(), 59u);
    EXPECT_FALSE(VerifyFrame(s, kStatusReplyLength));
    EXPECT_TRUE(VerifyFrame(s, 59));
    a = Ask(unit,
            "\x02"
            "CRM105\x03"
            "7B\r\n");
    EXPECT_EQ(a.size(), 25u);

    // Plain lines keep their length.
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");

    unit.Faults().length = LengthFault::None;
    EXPECT_EQ(VerifyFrame(Ask(unit, "\x02R1\r\n"), kStatusReplyLength), 53);
}

TEST(SimFaults, LowerCaseChecksumAlwaysShowsALowerCaseLetter)
{
    SimUnit unit;
    unit.Faults().lowercaseChecksum = true;
    // Over many states some checksums are digits only; the reply must show a
    // lower-case letter all the same, and differ from the good reply only
    // where the host does not look.
    for (unsigned word = 0; word < 64; ++word) {
        unit.Channel(0).statusWord = static_cast<std::uint16_t>(word);
        std::string s = Ask(unit, "\x02R1\r\n");
        ASSERT_EQ(s.size(), 58u);
        const std::string cs = s.substr(54, 2);
        EXPECT_TRUE(cs.find_first_of("abcdef") != std::string::npos) << cs;
        EXPECT_EQ(cs.find_first_of("ABCDEF"), std::string::npos);
        EXPECT_FALSE(VerifyFrame(s, kStatusReplyLength));

        for (std::size_t i = 54; i < 56; ++i)
            s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
        ASSERT_EQ(VerifyFrame(s, kStatusReplyLength), 53) << "word " << word;
        EXPECT_EQ(HexField(s, 25, 4), word);
        EXPECT_EQ(HexField(s, 49, 4), 0u);
    }
    unit.Faults().lowercaseChecksum = false;
    EXPECT_EQ(VerifyFrame(Ask(unit, "\x02R1\r\n"), kStatusReplyLength), 53);
}

TEST(SimFaults, StrayCrLfComesBeforeEveryLine)
{
    SimUnit unit;
    unit.Faults().strayCrLf = true;
    EXPECT_EQ(Ask(unit, "VER\r\n"), "\r\nVER01.00A\r\n");
    const std::string s = Ask(unit, "\x02R1\r\n");
    ASSERT_EQ(s.size(), 60u);
    EXPECT_EQ(VerifyFrame(std::string_view(s).substr(2), kStatusReplyLength), 53);
    unit.Faults().strayCrLf = false;
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
}

TEST(SimFaults, ClearFaultsSwitchesEverythingOff)
{
    SimUnit unit;
    auto& f = unit.Faults();
    f.silent = f.garbage = f.badChecksum = f.lowercaseChecksum = f.strayCrLf = f.pace = true;
    f.length = LengthFault::Long;
    f.delayMs = 300;
    unit.SetSilentAfter(0);
    unit.ClearFaults();
    EXPECT_FALSE(unit.SilentAfter());
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
    EXPECT_EQ(VerifyFrame(Ask(unit, "\x02R1\r\n"), kStatusReplyLength), 53);
}

TEST(SimFaults, DelayPutsTheAnswerLaterAndKeepsOrder)
{
    SimUnit unit;
    unit.Faults().delayMs = 200;
    unit.Receive(kT0, "VER\r\n");
    EXPECT_EQ(unit.NextDue(), kT0 + std::chrono::milliseconds(200));
    EXPECT_EQ(unit.TakeDue(kT0 + std::chrono::milliseconds(199)), "");

    // A shorter delay for a later question cannot overtake the first answer.
    unit.Faults().delayMs = 0;
    unit.Receive(kT0 + std::chrono::milliseconds(10), "CH\r\n");
    EXPECT_EQ(unit.TakeDue(kT0 + std::chrono::milliseconds(100)), "");
    EXPECT_EQ(unit.TakeDue(kT0 + std::chrono::milliseconds(200)), "VER01.00A\r\nCH1\r\n");
    EXPECT_FALSE(unit.HasPending());
}

TEST(SimFaults, PacingSendsByteByByteAtWireSpeed)
{
    SimUnit unit;
    unit.Faults().pace = true;
    unit.Receive(kT0, "VER\r\nCH\r\n");
    // The unit hears "VER" once its 5 bytes have crossed the wire, then
    // answers 11 + 5 bytes of 10 bits at 19200 bit/s; "CH" waits for the
    // wire to be free.
    const Nanos heard = kT0 + WireTime(5);
    EXPECT_EQ(unit.NextDue(), heard + WireTime(1));
    EXPECT_EQ(unit.TakeDue(heard + WireTime(11) - Nanos(1)), "VER01.00A\r");
    EXPECT_EQ(unit.TakeDue(heard + WireTime(11)), "\n");
    EXPECT_EQ(unit.TakeDue(heard + WireTime(11) + WireTime(5)), "CH1\r\n");
    EXPECT_EQ(WireTime(16), Nanos(8'333'333));
}

} // namespace
