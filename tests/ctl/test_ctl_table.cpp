// velmoractl table check, run as the real program on CSV files in a scratch
// folder.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "firmware/ImageFile.h"
#include "platform/Sha256.h"

namespace {

namespace fs = std::filesystem;
using velmora::test::ChildProcess;

struct CtlRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CtlTableTest : public ::testing::Test {
protected:
    CtlTableTest()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-ctl-table-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            m_dir = tmpl;
    }

public:
    ~CtlTableTest() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

protected:
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const fs::path p = m_dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

    // "table check" with `args` after it; the file is the first argument.
    static CtlRun Check(const std::vector<std::string>& args)
    {
        std::vector<std::string> all = {"table", "check"};
        all.insert(all.end(), args.begin(), args.end());
        return Ctl(all);
    }

    // In English, the language of the messages checked; a --lang among the
    // arguments comes later and wins.
    static CtlRun Ctl(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--lang", "en"});
        CtlRun r;
        ChildProcess p;
        if (!p.Start(VELMORA_CTL_BINARY, args, {false, false, {}}))
            return r;
        r.exitCode = p.Finish(r.out, r.err);
        return r;
    }

    fs::path m_dir;
};

TEST_F(CtlTableTest, AGoodFileListsItsRowsAndPasses)
{
    const std::string csv = Write("t.csv", "4,1.5\r\n12,0.5\r\n20,2\r\n");
    CtlRun r = Check({csv, "--range", "5"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 4 1.5\n2 12 0.5\n3 20 2\nok\n");
    EXPECT_EQ(r.err, "");

    // The options may come first, and in the --range=R form.
    r = Check({"--range=6", csv});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 4 1.5\n2 12 0.5\n3 20 2\nok\n");

    // Without options the limits are those of range 0, 0 to 5 V.
    r = Check({Write("five.csv", "0,0.1\n5,9999.9\n")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 0 0.1\n2 5 9999.9\nok\n");
    r = Check({csv});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 4 1.5\n2 12 0.5\n3 20 2\nSome data is out of range\n");
    EXPECT_NE(r.err.find("row 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("0.000 to 5.000"), std::string::npos) << r.err;

    // In Japanese, the program's own language, the check's message and the
    // messages on standard error are Japanese; the rows, which scripts read,
    // are the same. A wrong --lang is a usage error.
    const CtlRun japanese = Ctl({"--lang=ja", "table", "check", csv});
    EXPECT_EQ(japanese.exitCode, 3);
    EXPECT_EQ(japanese.out, "1 4 1.5\n2 12 0.5\n3 20 2\n範囲外データがあります\n");
    EXPECT_NE(japanese.err.find("2 行目でチェックを終了しました。範囲は 0.000～5.000 です"), std::string::npos)
        << japanese.err;
    const CtlRun usage = Ctl({"--lang", "ja", "table", "check", csv, "--bogus"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("オプション '--bogus' はありません"), std::string::npos) << usage.err;
    EXPECT_EQ(Ctl({"--lang", "de", "table", "check", csv}).exitCode, 2);

    // An empty line ends the file; an empty file is an empty table, which
    // passes; only the first hundred lines are a table.
    r = Check({Write("stop.csv", "1,1\n\n9,x\n")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1 1 1\nok\n");
    r = Check({Write("empty.csv", "")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ok\n");
    std::string many;
    for (int i = 1; i <= 150; ++i)
        many += (i <= 100 ? "1" : "x") + std::string(",") + std::to_string(i) + "\n";
    r = Check({Write("many.csv", many), "--range", "0"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.rfind("100 1 100\nok\n"), r.out.size() - 13) << r.out;
    EXPECT_EQ(r.out.find("101 "), std::string::npos);
}

TEST_F(CtlTableTest, CellsAreTakenAsTheDialogTakesThem)
{
    // Quotes at either end cost the first and the last character, blanks
    // around a field go, further fields are ignored, and a thousands
    // separator splits the number: 1,000 is 1 for 000 seconds.
    const std::string csv = Write("odd.csv",
                                  "\"4\",\"1.5\"\r\n"
                                  " 12 ,\t0.5 ,ignored\n"
                                  "45\",1\n"
                                  "1,000\n");
    CtlRun r = Check({csv, "--range", "6"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 4 1.5\n2 12 0.5\n3 5 1\n4 1 000\nA value is beyond the range\n");
    EXPECT_NE(r.err.find("row 4"), std::string::npos) << r.err;

    // CP932 text comes out in UTF-8; a cell with a blank inside or an empty
    // cell is quoted so that a row stays three words.
    r = Check({Write("words.csv", "1 2,1\n\x92\x6C,1\n"), "--range", "0"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 \"1 2\" 1\n2 値 1\nSome data is not a number\n");
    r = Check({Write("half.csv", "1,1\n2\n,3\n"), "--range", "0"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 1 1\n2 2 \"\"\n3 \"\" 3\nSome data is missing\n");
    r = Check({Write("gap.csv", "1,1\n,\n3,1\n"), "--range", "0"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 1 1\n3 3 1\nSome data is missing\n") << "a filled row after an empty one";
    EXPECT_NE(r.err.find("row 3"), std::string::npos) << r.err;
    r = Check({Write("zero.csv", "1,0\n"), "--range", "0"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 1 0\nA value is beyond the range\n");
    r = Check({Write("long.csv", "1,10000\n"), "--range", "0"});
    EXPECT_EQ(r.out, "1 1 10000\nA value is beyond the range\n");
}

TEST_F(CtlTableTest, ConversionLimitsAreTakenInEitherOrder)
{
    const std::string inside = Write("in.csv", "100,1\n0,1\n50.5,1\n");
    CtlRun r = Check({inside, "--conv", "100", "0", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 100 1\n2 0 1\n3 50.5 1\nok\n");
    EXPECT_EQ(Check({inside, "--conv", "0", "100", "0"}).exitCode, 0);

    r = Check({Write("out.csv", "-50,1\n-50.01,1\n"), "--conv", "-50", "50", "2"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "1 -50 1\n2 -50.01 1\nSome data is out of range\n");
    EXPECT_NE(r.err.find("-50.00 to 50.00"), std::string::npos) << r.err;

    // A range's limits do not hold under a conversion formula.
    EXPECT_EQ(Check({inside, "--range", "3"}).exitCode, 3);
}

TEST_F(CtlTableTest, AFileThatCannotBeOpenedIsRefusedWithTheReason)
{
    CtlRun r = Check({(m_dir / "gone.csv").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("The file cannot be opened"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("gone.csv"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::strerror(ENOENT)), std::string::npos) << r.err;

    r = Check({m_dir.string(), "--range", "5"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("The file cannot be opened"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
}

TEST_F(CtlTableTest, UsageErrorsExitWithTwoAndReadNothing)
{
    const std::string csv = Write("t.csv", "4,1.5\n");
    const std::vector<std::vector<std::string>> bad = {
        {"table"},
        {"table", "frob", csv},
        {"table", "check"},
        {"table", "check", csv, csv},
        {"table", "check", csv, "--xml"},
        {"table", "check", csv, "--range"},
        {"table", "check", csv, "--range", "4"},
        {"table", "check", csv, "--range", "15"},
        {"table", "check", csv, "--range", "16"},
        {"table", "check", csv, "--range", "-1"},
        {"table", "check", csv, "--range", "2.5"},
        {"table", "check", csv, "--range", "1e300"},
        {"table", "check", csv, "--range", "x"},
        {"table", "check", csv, "--range="},
        {"table", "check", csv, "--range", "5", "--range", "6"},
        {"table", "check", csv, "--range", "0", "--conv", "0", "1", "0"},
        {"table", "check", csv, "--conv", "0", "1", "0", "--range", "0"},
        {"table", "check", csv, "--conv", "0", "1"},
        {"table", "check", csv, "--conv", "a", "1", "0"},
        {"table", "check", csv, "--conv", "0", "1b", "0"},
        {"table", "check", csv, "--conv", "", "1", "0"},
        {"table", "check", csv, "--conv", "nan", "1", "0"},
        {"table", "check", csv, "--conv", "0", "inf", "0"},
        {"table", "check", csv, "--conv", "0", "1", "7"},
        {"table", "check", csv, "--conv", "0", "1", "-1"},
        {"table", "check", csv, "--conv", "0", "1", "x"},
    };
    for (const auto& args : bad) {
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        const CtlRun r = Ctl(args);
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_NE(r.err.find("usage: velmoractl table check CSV [--range R | --conv MIN MAX DECIMALS]"),
                  std::string::npos)
            << shown << "\n"
            << r.err;
    }
    // Each refusal names what was wrong.
    EXPECT_NE(Check({csv, "--range", "15"}).err.find("not '15'"), std::string::npos);
    EXPECT_NE(Check({csv, "--conv", "0", "1b", "0"}).err.find("MAX must be a number, not '1b'"), std::string::npos);
    EXPECT_NE(Check({csv, "--conv", "0", "1", "7"}).err.find("DECIMALS must be 0 to 6"), std::string::npos);
    EXPECT_NE(Check({}).err.find("CSV is missing"), std::string::npos);

    const CtlRun help = Ctl({"--help"});
    EXPECT_NE(help.out.find("velmoractl table check CSV [--range R | --conv MIN MAX DECIMALS]"), std::string::npos);
}

} // namespace

// velmoractl firmware info on image files in the same scratch folder.
TEST_F(CtlTableTest, FirmwareInfoNamesTheVersionAndTheImagesDigest)
{
    const std::string records = velmora::EncodeImageRecord("S306FFFE000012EA");
    ASSERT_FALSE(records.empty());
    const std::string file = velmora::EncodeImageFile({0x01, 0x0C, 0xF0}, {records});
    velmora::FirmwareImage image;
    ASSERT_EQ(velmora::DecodeImage(file, image), velmora::ImageFileResult::Ok);
    ASSERT_EQ(image[0], 0x12);

    CtlRun r = Ctl({"firmware", "info", Write("unit.zpg", file)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "version=010CF0 sha256=" + velmora::Sha256Hex(image) + "\n");
    // The digest is the image's: another record changes it.
    const CtlRun other =
        Ctl({"firmware", "info", Write("other.zpg", velmora::EncodeImageFile({0x01, 0x0C, 0xF0}, {}))});
    EXPECT_NE(other.out, r.out);

    r = Ctl({"firmware", "info", Write("empty.zpg", "")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The transfer file is wrong"), std::string::npos) << r.err;
    r = Ctl({"firmware", "info", (m_dir / "missing.zpg").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The file cannot be opened"), std::string::npos) << r.err;
    EXPECT_EQ(Ctl({"firmware", "info"}).exitCode, 2);
    EXPECT_EQ(Ctl({"firmware", "flash"}).exitCode, 2);
}

// velmoractl firmware update through the simulated D2XX library and the
// simulated libftdi1 one, in a scratch working folder that holds
// Hovelt/Velmora.
TEST_F(CtlTableTest, FirmwareUpdateProgramsTheSimulatedUnitAndKeepsItsCorrections)
{
    std::vector<std::string> records;
    for (const char* line : {"S306FFFE000012EA", "S306FFFFFF00AB51"})
        records.push_back(velmora::EncodeImageRecord(line));
    const std::string file = velmora::EncodeImageFile({0x02, 0x00, 0x01}, records);
    velmora::FirmwareImage image;
    ASSERT_EQ(velmora::DecodeImage(file, image), velmora::ImageFileResult::Ok);
    ASSERT_EQ(image[0x1FF00], 0xAB);
    const std::string path = Write("unit.zpg", file);
    fs::create_directories(m_dir / "Hovelt" / "Velmora");
    const fs::path flash = m_dir / "flash.bin";

    const fs::path before = fs::current_path();
    fs::current_path(m_dir);
    ::setenv("VELMORA_FTD2XX", VELMORA_FTD2XX_SIM, 1);
    ::setenv("VELMORA_SIM_FTDI_FLASH", flash.c_str(), 1);
    ::setenv("VELMORA_SIM_FTDI_TIMING", "0", 1);
    const CtlRun bridge = Ctl({"firmware", "bridge"});
    const CtlRun refused = Ctl({"firmware", "update", path});
    const CtlRun r = Ctl({"firmware", "update", path, "--yes"});
    ::setenv("VELMORA_SIM_FTDI_FAULTS", "corrupt=3", 1);
    const CtlRun corrupt = Ctl({"firmware", "update", path, "--yes"});
    ::setenv("VELMORA_SIM_FTDI_FAULTS", "unplug=7", 1);
    const CtlRun unplugged = Ctl({"firmware", "update", path, "--yes"});
    ::unsetenv("VELMORA_SIM_FTDI_FAULTS");
    // No D2XX library: libftdi1 stands in.
    fs::remove(flash);
    ::setenv("VELMORA_FTD2XX", "/nonexistent/libftd2xx.so", 1);
    ::setenv("VELMORA_LIBFTDI", VELMORA_LIBFTDI_SIM, 1);
    const CtlRun libftdi = Ctl({"firmware", "update", path, "--yes"});
    const CtlRun bridgeLibftdi = Ctl({"firmware", "bridge"});
    ::setenv("VELMORA_LIBFTDI", "/nonexistent/libftdi1.so.2", 1);
    const CtlRun noBridge = Ctl({"firmware", "bridge"});
    ::unsetenv("VELMORA_SIM_FTDI_TIMING");
    ::unsetenv("VELMORA_LIBFTDI");
    ::unsetenv("VELMORA_SIM_FTDI_FLASH");
    ::unsetenv("VELMORA_FTD2XX");
    fs::current_path(before);

    // Which library is used, and what it finds.
    EXPECT_EQ(bridge.exitCode, 0) << bridge.err;
    EXPECT_EQ(bridge.out, std::string("library=") + VELMORA_FTD2XX_SIM + " units=1 serial=VK2A0001\n");
    EXPECT_EQ(bridgeLibftdi.out, std::string("library=") + VELMORA_LIBFTDI_SIM + " units=1 serial=VK2A0001\n");
    EXPECT_EQ(noBridge.exitCode, 1);
    EXPECT_NE(noBridge.err.find("/nonexistent/libftd2xx.so / /nonexistent/libftdi1.so.2"), std::string::npos)
        << noBridge.err;

    // Without --yes and without a terminal the question is not answered.
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("give --yes"), std::string::npos) << refused.err;

    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("updated VK2A0001 to 020001"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Update finished normally"), std::string::npos);
    ASSERT_EQ(libftdi.exitCode, 0) << libftdi.err;
    EXPECT_NE(libftdi.out.find("updated VK2A0001 to 020001"), std::string::npos) << libftdi.out;
    std::ifstream in(flash, std::ios::binary);
    const std::string flashed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(flashed.size(), velmora::kProgrammedBytes);
    EXPECT_TRUE(std::equal(flashed.begin(), flashed.end(), image.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    EXPECT_TRUE(fs::exists(m_dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt"));

    EXPECT_EQ(corrupt.exitCode, 1);
    EXPECT_NE(corrupt.err.find("Memory read Error"), std::string::npos) << corrupt.err;
    EXPECT_NE(corrupt.err.find("read back at FFFE03C8"), std::string::npos) << corrupt.err;
    // A cable pulled while programming ends the update once, and the
    // corrections stay in their file for the next try.
    EXPECT_EQ(unplugged.exitCode, 1);
    EXPECT_NE(unplugged.err.find("BootModeRelease(UP_NG)"), std::string::npos) << unplugged.err;
    EXPECT_TRUE(fs::exists(m_dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt"));
}

namespace {

// An image file of two records in the scratch folder, with Hovelt/Velmora
// below it and an earlier update's correction file there; the image's
// memory bytes in `image`.
std::string UpdateScene(const fs::path& dir, velmora::FirmwareImage& image)
{
    std::vector<std::string> records;
    for (const char* line : {"S306FFFE000012EA", "S306FFFFFF00AB51"})
        records.push_back(velmora::EncodeImageRecord(line));
    const std::string file = velmora::EncodeImageFile({0x02, 0x00, 0x01}, records);
    EXPECT_EQ(velmora::DecodeImage(file, image), velmora::ImageFileResult::Ok);
    const fs::path path = dir / "unit.zpg";
    std::ofstream(path, std::ios::binary) << file;
    fs::create_directories(dir / "Hovelt" / "Velmora");
    std::string earlier = "VK2A0001,\r\n";
    for (int ch = 1; ch <= 2; ++ch)
        for (const char* range : {"0,0_5V", "10,1_5V", "1,0_10V", "2,5V", "3,10V", "5,4_20mA", "6,0_20mA", "7,0_24mA",
                                  "11,E4_20mA", "12,E0_20mA"})
            earlier += std::to_string(ch) + "," + range + ",0,0,0,0,0,\r\n";
    std::ofstream(dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt", std::ios::binary) << earlier;
    return path.string();
}

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

// Two bridges carry the unit's description; the first, with another serial
// number, has nothing behind it. Through either library the update opens
// the one whose serial number it counted, says so, and programs that unit.
TEST_F(CtlTableTest, FirmwareUpdateOpensTheCountedBridgeAmongTwoOfTheSameDescription)
{
    velmora::FirmwareImage image;
    const std::string path = UpdateScene(m_dir, image);
    const fs::path flash = m_dir / "flash.bin";
    const fs::path log = m_dir / "calls.log";

    const fs::path before = fs::current_path();
    fs::current_path(m_dir);
    ::setenv("VELMORA_SIM_FTDI_SERIALS", "FT5XK2QA:empty,VK2A0001", 1);
    ::setenv("VELMORA_SIM_FTDI_FLASH", flash.c_str(), 1);
    ::setenv("VELMORA_SIM_FTDI_LOG", log.c_str(), 1);
    ::setenv("VELMORA_SIM_FTDI_TIMING", "0", 1);
    ::setenv("VELMORA_FTD2XX", VELMORA_FTD2XX_SIM, 1);
    const CtlRun bridge = Ctl({"firmware", "bridge"});
    const CtlRun d2xx = Ctl({"firmware", "update", path, "--yes"});
    const std::string d2xxFlash = Slurp(flash);
    const std::string d2xxCalls = Slurp(log);
    fs::remove(flash);
    fs::remove(log);
    ::setenv("VELMORA_FTD2XX", "/nonexistent/libftd2xx.so", 1);
    ::setenv("VELMORA_LIBFTDI", VELMORA_LIBFTDI_SIM, 1);
    const CtlRun libftdi = Ctl({"firmware", "update", path, "--yes"});
    const std::string libftdiFlash = Slurp(flash);
    const std::string libftdiCalls = Slurp(log);
    for (const char* name : {"VELMORA_SIM_FTDI_SERIALS", "VELMORA_SIM_FTDI_FLASH", "VELMORA_SIM_FTDI_LOG",
                             "VELMORA_SIM_FTDI_TIMING", "VELMORA_FTD2XX", "VELMORA_LIBFTDI"})
        ::unsetenv(name);
    fs::current_path(before);

    EXPECT_EQ(bridge.out, std::string("library=") + VELMORA_FTD2XX_SIM + " units=1 serial=VK2A0001\n");
    for (const auto* r : {&d2xx, &libftdi}) {
        const std::string which = r == &d2xx ? "D2XX" : "libftdi1";
        ASSERT_EQ(r->exitCode, 0) << which << "\n" << r->err;
        EXPECT_NE(r->out.find("updated VK2A0001 to 020001"), std::string::npos) << which << r->out;
        EXPECT_NE(r->err.find("Opened the analog unit with serial number VK2A0001\n"), std::string::npos)
            << which << r->err;
        // The unit answered: no falling back on the earlier file.
        EXPECT_EQ(r->err.find("Cannot connect"), std::string::npos) << which << r->err;
    }
    for (const std::string* calls : {&d2xxCalls, &libftdiCalls}) {
        EXPECT_NE(calls->find("open serial VK2A0001 ok"), std::string::npos) << *calls;
        EXPECT_EQ(calls->find("FT5XK2QA"), std::string::npos) << *calls;
    }
    for (const std::string* flashed : {&d2xxFlash, &libftdiFlash}) {
        ASSERT_EQ(flashed->size(), velmora::kProgrammedBytes);
        EXPECT_TRUE(std::equal(flashed->begin(), flashed->end(), image.begin(),
                               [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    }
}

// SIGINT while the corrections go back to a unit that has gone silent: the
// write-back stops after the exchange under way instead of sitting out
// every other one, and says what a failed write-back says.
TEST_F(CtlTableTest, FirmwareUpdateStopsItsWriteBackOnSigint)
{
    velmora::FirmwareImage image;
    const std::string path = UpdateScene(m_dir, image);

    const fs::path before = fs::current_path();
    fs::current_path(m_dir);
    // Silent from the start: the earlier file is taken (--yes), the unit is
    // programmed, and the write-back meets the silence.
    ::setenv("VELMORA_SIM_FTDI_FAULTS", "silent", 1);
    ::setenv("VELMORA_SIM_FTDI_TIMING", "0", 1);
    ::setenv("VELMORA_FTD2XX", VELMORA_FTD2XX_SIM, 1);
    ChildProcess run;
    const bool started =
        run.Start(VELMORA_CTL_BINARY, {"--lang", "en", "firmware", "update", path, "--yes"}, {false, true, {}});
    for (const char* name : {"VELMORA_SIM_FTDI_FAULTS", "VELMORA_SIM_FTDI_TIMING", "VELMORA_FTD2XX"})
        ::unsetenv(name);
    fs::current_path(before);
    ASSERT_TRUE(started);

    std::string shown;
    for (std::optional<std::string> line; (line = run.ReadLine()) && *line != "Transferring the corrections";)
        shown += *line + "\n";
    ASSERT_NE(shown.find("Cannot connect"), std::string::npos) << shown;
    const auto signalled = std::chrono::steady_clock::now();
    run.Signal(SIGINT);
    std::string out, err;
    EXPECT_EQ(run.Finish(out, err), 1) << out;
    EXPECT_LE(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(2500));
    const std::string file = (m_dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt").string();
    EXPECT_NE(out.find("The corrections could not be written\nThe generator's calibration is safe in the correction "
                       "file " +
                       file + "\nRunning the update again writes it back\nSerial number: VK2A0001\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Writing the corrections"), std::string::npos) << out;
}
