// What the simulated unit answers, byte for byte, and how each command
// changes what it reports next.
#include <gtest/gtest.h>

#include <random>

#include "SimUnit.h"

using namespace velmora;
using namespace velmora::sim;

namespace {

const Nanos kT0 = std::chrono::seconds(5);

// A host frame: STX, body, ETX, checksum, CR LF.
std::string Frame(std::string_view body)
{
    std::string s = "\x02";
    s += body;
    s += '\x03';
    AppendChecksum(s);
    return s;
}

// Sends `host` to the unit and returns everything it answers at once.
std::string Ask(SimUnit& unit, std::string_view host)
{
    unit.Receive(kT0, host);
    return unit.TakeDue(kT0);
}

TEST(SimReplies, IdentityQueriesAnswerVersionAndChannelCount)
{
    SimUnit unit;
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH1\r\n");

    ASSERT_TRUE(unit.SetVersion("02.10B"));
    ASSERT_TRUE(unit.SetChannelCount(4));
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER02.10B\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH4\r\n");

    EXPECT_FALSE(unit.SetChannelCount(3));
    EXPECT_FALSE(unit.SetVersion(""));
    EXPECT_FALSE(unit.SetVersion("01\r\n0A"));
    EXPECT_FALSE(unit.SetVersion(std::string(33, '1')));
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER02.10B\r\n");
    EXPECT_EQ(Ask(unit, "CH\r\n"), "CH4\r\n");
}

TEST(SimReplies, StatusReplyOfAFreshChannel)
{
    SimUnit unit;
    const std::string reply = Ask(unit, "\x02R1\r\n");
    EXPECT_EQ(reply,
              "\x02R100000000080008000000000000000000000000000000000000\x03"
              "F6\r\n");
    ASSERT_EQ(reply.size(), 58u);
    EXPECT_EQ(VerifyFrame(reply, kStatusReplyLength), 53);
}

TEST(SimReplies, SettingsWriteIsAppliedAndShowsInTheNextStatusReply)
{
    SimUnit unit;
    // Channel 1, range 5, dac 0x8000, control 0x1005, aux 0x0008.
    EXPECT_EQ(Ask(unit,
                  "\x02W105800010050008000000000000000000000000\x03"
                  "C6\r\n"),
              "");
    const SimChannelState& c = unit.Channel(0);
    EXPECT_EQ(c.rangeCode, 5);
    EXPECT_EQ(c.words.dacCode, 0x8000);
    EXPECT_EQ(c.words.controlWord, 0x1005);
    EXPECT_EQ(c.words.auxControlWord, 0x0008);
    EXPECT_EQ(c.settingsWrites, 1);

    unit.Channel(0).statusWord = 0x0003;
    unit.Channel(0).extStatusWord = 0x0002;
    unit.Channel(0).user[5].adjustSelect = 0x0002;
    unit.Channel(0).user[0].adjustSelect = 0x0001; // another range's select must not show
    const std::string reply = Ask(unit, "\x02R1\r\n");
    EXPECT_EQ(reply,
              "\x02R105800010050008000000000003000000000000000000020002\x03"
              "08\r\n");
    ASSERT_EQ(VerifyFrame(reply, kStatusReplyLength), 53);
    EXPECT_EQ(HexField(reply, 3, 2), 5u);
    EXPECT_EQ(HexField(reply, 25, 4), 0x0003u);
    EXPECT_EQ(HexField(reply, 45, 4), 0x0002u);
    EXPECT_EQ(HexField(reply, 49, 4), 0x0002u);
}

TEST(SimReplies, EveryWordOfTheSettingsWriteIsKeptPerChannel)
{
    SimUnit unit;
    ASSERT_TRUE(unit.SetChannelCount(2));
    // dac, control, aux, reserved twice, ext output, three spares.
    EXPECT_EQ(Ask(unit,
                  Frame("W20B"
                        "1234"
                        "1009"
                        "0008"
                        "0000"
                        "0000"
                        "0001"
                        "1111"
                        "2222"
                        "3334")),
              "");
    const SimChannelState& c = unit.Channel(1);
    EXPECT_EQ(c.rangeCode, 0x0B);
    EXPECT_EQ(c.words.dacCode, 0x1234);
    EXPECT_EQ(c.words.controlWord, 0x1009);
    EXPECT_EQ(c.words.auxControlWord, 0x0008);
    EXPECT_EQ(c.words.extOutputWord, 0x0001);
    EXPECT_EQ(c.words.spareWords[0], 0x1111);
    EXPECT_EQ(c.words.spareWords[1], 0x2222);
    EXPECT_EQ(c.words.spareWords[2], 0x3334);
    EXPECT_EQ(unit.Channel(0).settingsWrites, 0);

    // The status reply of channel 2 carries its range and the echoed words.
    const std::string reply = Ask(unit, "\x02R2\r\n");
    ASSERT_EQ(VerifyFrame(reply, kStatusReplyLength), 53);
    EXPECT_EQ(reply.substr(2, 3), "20B");
    EXPECT_EQ(reply.substr(5, 20), "12341009000800000001");
}

TEST(SimReplies, AdjustmentReadAnswersFromTheMakerAndUserTables)
{
    SimUnit unit;
    ASSERT_TRUE(unit.SetChannelCount(2));
    unit.Channel(0).user[5] = {0x0002, 0xFFFB, 0x8003};
    unit.Channel(1).maker[3] = {0x0010, 0x801F};
    unit.Channel(1).user[3].adjustSelect = 0x0001;

    std::string reply = Ask(unit,
                            "\x02"
                            "CRU105\x03"
                            "83\r\n");
    EXPECT_EQ(reply,
              "\x02"
              "CRU1050002FFFB8003\x03"
              "24\r\n");
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_EQ(VerifyFrame(reply, kAdjustReplyLength, 4), 19);

    reply = Ask(unit,
                "\x02"
                "CRM203\x03"
                "7A\r\n");
    EXPECT_EQ(reply,
              "\x02"
              "CRM20300010010801F\x03"
              "DB\r\n");
    // The user set of the same slot shares the select word.
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CRU203\x03"
                  "82\r\n"),
              "\x02"
              "CRU203000100008000\x03"
              "CB\r\n");
    // A range code without a slot still gets an answer, with neutral words.
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CRM21F\x03"
                  "8E\r\n"),
              "\x02"
              "CRM21F000000008000\x03"
              "D6\r\n");
}

TEST(SimReplies, TransferWritesTheSlotAndTheReadGivesItBack)
{
    SimUnit unit;
    ASSERT_TRUE(unit.SetChannelCount(2));
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CMM20300010010801F\x03"
                  "D6\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.Channel(1).maker[3].minCorrection, 0x0010);
    EXPECT_EQ(unit.Channel(1).maker[3].maxCorrection, 0x801F);
    EXPECT_EQ(unit.Channel(1).user[3].adjustSelect, 0x0001);
    EXPECT_EQ(unit.Channel(1).user[3].minCorrection, 0x0000); // the user pair is untouched
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CRM203\x03"
                  "7A\r\n"),
              "\x02"
              "CRM20300010010801F\x03"
              "DB\r\n");

    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CMU1050002FFFB8003\x03"
                  "1F\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.Channel(0).user[5].adjustSelect, 0x0002);
    EXPECT_EQ(unit.Channel(0).user[5].minCorrection, 0xFFFB);
    EXPECT_EQ(unit.Channel(0).user[5].maxCorrection, 0x8003);

    // No slot for range 0x1F: acknowledged, nothing stored anywhere.
    const SimChannelState before = unit.Channel(0);
    EXPECT_EQ(Ask(unit, Frame("CMU11F0002FFFB8003")), "OK\r\n");
    for (int r = 0; r < kSlotCount; ++r) {
        EXPECT_EQ(unit.Channel(0).user[r].minCorrection, before.user[r].minCorrection);
        EXPECT_EQ(unit.Channel(0).user[r].adjustSelect, before.user[r].adjustSelect);
    }
}

TEST(SimReplies, TestOutputStoreAndInitialiseAnswerOkAndActOnTheTables)
{
    SimUnit unit;
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CTU105FFFF000200058003\x03"
                  "EF\r\n"),
              "OK\r\n");
    const auto& t = unit.Channel(0).test;
    EXPECT_EQ(t.rangeCode, 5);
    EXPECT_EQ(t.code, 0xFFFF);
    EXPECT_EQ(t.flag, 0x0002);
    EXPECT_EQ(t.minCorrection, 0x0005);
    EXPECT_EQ(t.maxCorrection, 0x8003);
    EXPECT_EQ(unit.TestOutputText(0), "1 upper 4_20mA min=5 max=3");
    // A transfer to the channel ends the trial.
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CMU105000200058003\x03"
                  "D0\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.TestOutputText(0), "1 off");

    unit.Channel(0).user[5] = {0x0002, 0xFFFB, 0x8003};
    unit.Channel(0).maker[5] = {0x0007, 0x7FF0};
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CWU\x03"
                  "F2\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.Stored('U').stores, 1);
    EXPECT_EQ(unit.Stored('M').stores, 0);
    EXPECT_EQ(unit.Stored('U').user[0][5].minCorrection, 0xFFFB);
    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CWM\x03"
                  "EA\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.Stored('M').stores, 1);
    EXPECT_EQ(unit.Stored('M').maker[0][5].maxCorrection, 0x7FF0);

    EXPECT_EQ(Ask(unit,
                  "\x02"
                  "CINIU\x03\r\n"),
              "OK\r\n");
    EXPECT_EQ(unit.Channel(0).user[5].minCorrection, 0x0000);
    EXPECT_EQ(unit.Channel(0).user[5].maxCorrection, 0x8000);
    EXPECT_EQ(unit.Channel(0).user[5].adjustSelect, 0x0002);
    EXPECT_EQ(unit.Channel(0).maker[5].minCorrection, 0x0007);
    // The kept user corrections are cleared too (a power-on would bring them
    // back otherwise); the kept select word stays.
    EXPECT_EQ(unit.Stored('U').user[0][5].minCorrection, 0x0000);
    EXPECT_EQ(unit.Stored('U').user[0][5].adjustSelect, 0x0002);
}

TEST(SimReplies, AnnouncementIsAChecksummedFrame)
{
    SimUnit unit;
    unit.Announce(kT0);
    EXPECT_EQ(unit.TakeDue(kT0),
              "\x02"
              "A\x03"
              "44\r\n");
}

TEST(SimReplies, LinesMayArriveInPieces)
{
    SimUnit unit;
    unit.Receive(kT0, "V");
    unit.Receive(kT0, "ER\r");
    EXPECT_FALSE(unit.HasPending());
    unit.Receive(kT0, "\nCH\r\n\x02R1\r\n");
    const std::string out = unit.TakeDue(kT0);
    EXPECT_EQ(out.substr(0, 16), "VER01.00A\r\nCH1\r\n");
    EXPECT_EQ(out.size(), 16u + 58u);
}

TEST(SimReplies, MalformedOrForeignLinesAreIgnoredAndChangeNothing)
{
    SimUnit unit;
    const std::string goodWrite = "\x02W105800010050008000000000000000000000000\x03"
                                  "C6\r\n";
    std::string lowerField = goodWrite;
    lowerField[5] = 'a'; // "a000" is not what a host sends
    std::string badSum = goodWrite;
    badSum[42] = 'D';

    const std::vector<std::string> lines = {
        "ver\r\n",
        "VER\n",
        "VER \r\n",
        "\r\n",
        "\x02R0\r\n",
        "\x02R5\r\n",
        "\x02R2\r\n", // the unit has one channel
        "\x02R1\x03\r\n",
        badSum,
        lowerField,
        goodWrite.substr(0, 44) + "0\r\n",
        Frame("W105800010050008000000000000000000000000").insert(20, "0"),
        Frame("W505800010050008000000000000000000000000"),
        Frame("W205800010050008000000000000000000000000"), // channel 2 absent
        "\002CRU105\00384\r\n",                            // octal escapes end by themselves before the digits
        "\002CRX105\00386\r\n",
        Frame("CRU10G"),
        Frame("CMX1050002FFFB8003"),
        Frame("CTU105FFFF00020005800"),
        "\002CWM\003EB\r\n",
        "\002CWX\003F5\r\n",
        "\002CINIU\00300\r\n",
        std::string("\0\0\0\r\n", 5),
        "OK\r\n",
        "\002A\00344\r\n",
    };
    for (const auto& l : lines) {
        EXPECT_EQ(Ask(unit, l), "") << "line of " << l.size() << " bytes";
    }
    EXPECT_EQ(unit.Channel(0).settingsWrites, 0);
    EXPECT_EQ(unit.Channel(0).rangeCode, 0);
    EXPECT_EQ(unit.Stored('M').stores, 0);

    // An overlong line is thrown away; the unit still answers afterwards.
    EXPECT_EQ(Ask(unit, std::string(600, 'x') + "VER\r\n"), "");
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
}

TEST(SimReplies, RandomBytesNeverUpsetTheUnit)
{
    SimUnit unit;
    ASSERT_TRUE(unit.SetChannelCount(4));
    std::mt19937 rng(1234);
    // Bytes weighted towards the protocol's own characters, so that many
    // pieces look nearly right.
    const std::string alphabet = std::string("\x02\x03\r\n\0", 5) + "RWCMUTVEHIKN0123456789ABCDEF";
    for (int round = 0; round < 2000; ++round) {
        std::string junk;
        const int n = static_cast<int>(rng() % 80);
        for (int i = 0; i < n; ++i)
            junk += rng() % 4 == 0 ? static_cast<char>(rng() & 0xFF) : alphabet[rng() % alphabet.size()];
        unit.Receive(kT0, junk);
        unit.TakeDue(kT0);
    }
    unit.Receive(kT0, "\r\n");
    unit.TakeDue(kT0);
    EXPECT_EQ(Ask(unit, "VER\r\n"), "VER01.00A\r\n");
    EXPECT_EQ(VerifyFrame(Ask(unit, "\x02R4\r\n"), kStatusReplyLength), 53);
}

} // namespace
