#include <gtest/gtest.h>

#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ScriptedPrompter.h"
#include "autoout/ArbitraryTable.h"
#include "autoout/CsvFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Fields = std::vector<std::string>;

// Every line the reader gives, as its fields, up to the first false.
std::vector<Fields> Lines(std::string_view bytes)
{
    std::vector<Fields> lines;
    CsvReader reader(bytes);
    while (reader.ReadRow()) {
        Fields fields;
        std::string text;
        for (int j = 0; reader.GetField(j, text); ++j)
            fields.push_back(text);
        EXPECT_EQ(static_cast<int>(fields.size()), reader.FieldCount());
        lines.push_back(fields);
    }
    return lines;
}

class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-csv-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            path = tmpl;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const fs::path p = path / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    fs::path path;
};

TEST(CsvReader, CommasAlwaysSplitAndLinesEndInCrLfOrLf)
{
    EXPECT_EQ(Lines("4,1.5\r\n12,0.5\n20,2"), (std::vector<Fields>{{"4", "1.5"}, {"12", "0.5"}, {"20", "2"}}));
    EXPECT_EQ(Lines("a,,b,\n"), (std::vector<Fields>{{"a", "", "b", ""}}));
    // Only the CR before the LF belongs to the line end.
    EXPECT_EQ(Lines("1\r2,3\r\r\n"), (std::vector<Fields>{{"1\r2", "3\r"}}));
    EXPECT_TRUE(Lines("").empty());

    CsvReader reader("5,6\n");
    std::string text = "kept";
    ASSERT_TRUE(reader.ReadRow());
    EXPECT_FALSE(reader.GetField(2, text));
    EXPECT_FALSE(reader.GetField(-1, text));
    EXPECT_EQ(text, "kept");
    // Asking out of order still finds each field.
    ASSERT_TRUE(reader.GetField(1, text));
    EXPECT_EQ(text, "6");
    ASSERT_TRUE(reader.GetField(0, text));
    EXPECT_EQ(text, "5");
    EXPECT_FALSE(reader.ReadRow());
    EXPECT_EQ(reader.FieldCount(), 0);
}

TEST(CsvReader, AnEmptyLineEndsTheReading)
{
    EXPECT_EQ(Lines("1,1\n2,2\n\n3,3\n"), (std::vector<Fields>{{"1", "1"}, {"2", "2"}}));
    EXPECT_EQ(Lines("1,1\r\n\r\n3,3\r\n").size(), 1u);
    EXPECT_TRUE(Lines("\n1,1\n").empty());
    // A line of one blank is not empty.
    EXPECT_EQ(Lines(" \n1,1\n").size(), 2u);
}

TEST(CsvReader, AQuoteAtEitherEndCostsTheFirstAndTheLastCharacter)
{
    EXPECT_EQ(Lines("\"4\",\"1.5\"\n"), (std::vector<Fields>{{"4", "1.5"}}));
    // No quoting: the comma between the quotes still splits.
    EXPECT_EQ(Lines("\"1,5\"\n"), (std::vector<Fields>{{"", ""}}));
    EXPECT_EQ(Lines("45\",\"12,\",\"\n"), (std::vector<Fields>{{"5", "1", "", ""}}));
    EXPECT_EQ(Lines("a\"b\n"), (std::vector<Fields>{{"a\"b"}}));
}

TEST(CsvReader, Cp932FieldsComeOutInUtf8AndQuotesCutWholeCharacters)
{
    // ア (83 41), イ (83 43) and the full-width space (81 40).
    EXPECT_EQ(Lines("\x83\x41,\x81\x40"
                    "1\n"),
              (std::vector<Fields>{{"ア",
                                    "\xE3\x80\x80"
                                    "1"}}));
    EXPECT_EQ(Lines("\"\x83\x41\x83\x43\n"), (std::vector<Fields>{{"ア"}}));
    EXPECT_EQ(Lines("\x83\x41\x83\x43\"\n"), (std::vector<Fields>{{"イ"}}));
    // A lead byte without its trail byte is one replaced character.
    EXPECT_EQ(Lines("1\x83\n"), (std::vector<Fields>{{"1\xEF\xBF\xBD"}}));
}

TEST(CsvTable, LinesFillTheValueAndIntervalTextsTrimmedWithoutEmptyingTheTable)
{
    ArbitraryTable table;
    for (ArbitraryRowText& row : table)
        row = {"old", "old"};
    EXPECT_EQ(LoadCsvIntoTable(table,
                               " 4 ,\t1.5 ,ignored\n\x81\x40"
                               "20\x81\x40,2\n7\n"),
              3);
    EXPECT_EQ(table[0].value, "4");
    EXPECT_EQ(table[0].interval, "1.5");
    EXPECT_EQ(table[1].value, "20");
    EXPECT_EQ(table[1].interval, "2");
    // A line without a second field keeps the row's earlier time.
    EXPECT_EQ(table[2].value, "7");
    EXPECT_EQ(table[2].interval, "old");
    EXPECT_EQ(table[3].value, "old");

    // The thousands separator splits the number.
    LoadCsvIntoTable(table, "1,000\n");
    EXPECT_EQ(table[0].value, "1");
    EXPECT_EQ(table[0].interval, "000");
    EXPECT_EQ(CheckTable(table, 0, 10).error, TableError::IntervalOutside);
}

TEST(CsvTable, OnlyTheFirstHundredLinesAreTaken)
{
    std::string bytes;
    for (int i = 1; i <= 150; ++i)
        bytes += std::to_string(i) + ",1\n";
    ArbitraryTable table;
    EXPECT_EQ(LoadCsvIntoTable(table, bytes), kArbitraryPointCount);
    EXPECT_EQ(table[0].value, "1");
    EXPECT_EQ(table[99].value, "100");
}

TEST(CsvFile, OpensOnlyReadableRegularFilesWithinTheLimit)
{
    ScratchDir dir;
    CCsvFile file;
    ASSERT_TRUE(file.Open(dir.Write("a.csv", "4,1.5\r\n")));
    std::string text;
    ASSERT_TRUE(file.ReadRow());
    ASSERT_TRUE(file.GetField(1, text));
    EXPECT_EQ(text, "1.5");
    file.Close();
    EXPECT_FALSE(file.ReadRow());

    EXPECT_EQ(file.LastSystemError(), 0);

    EXPECT_FALSE(file.Open((dir.path / "missing.csv").string()));
    EXPECT_EQ(file.LastError(), CsvOpenError::CannotOpen);
    EXPECT_EQ(file.LastSystemError(), ENOENT);
    EXPECT_FALSE(file.Open(dir.path.string()));
    EXPECT_EQ(file.LastError(), CsvOpenError::NotRegular);
    EXPECT_EQ(file.LastSystemError(), 0) << "the error number of the earlier failure stays behind";
    // A FIFO with no writer would block a plain open for ever.
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(file.Open(fifo));
    EXPECT_EQ(file.LastError(), CsvOpenError::NotRegular);

    const std::string big = dir.Write("big.csv", "1,1\n");
    fs::resize_file(big, kMaxCsvFileBytes + 1);
    EXPECT_FALSE(file.Open(big));
    EXPECT_EQ(file.LastError(), CsvOpenError::TooLarge);
    fs::resize_file(big, kMaxCsvFileBytes);
    EXPECT_TRUE(file.Open(big));
}

TEST(CsvFile, ARefusedFileSaysWhyAndLeavesTheTableAlone)
{
    ScratchDir dir;
    ArbitraryTable table;
    table[0] = {"7", "1"};
    std::string reason;
    EXPECT_FALSE(LoadCsvFileIntoTable(table, (dir.path / "gone.csv").string(), reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(LoadCsvFileIntoTable(table, dir.path.string(), reason));
    EXPECT_EQ(reason, "通常のファイルではありません");
    const std::string big = dir.Write("big.csv", "1,1\n");
    fs::resize_file(big, kMaxCsvFileBytes + 1);
    EXPECT_FALSE(LoadCsvFileIntoTable(table, big, reason));
    EXPECT_EQ(reason, "16 MiB を超えています");
    EXPECT_EQ(table[0].value, "7");
    EXPECT_EQ(table[0].interval, "1");

    EXPECT_EQ(CsvOpenErrorText(CsvOpenError::None, ENOENT), "");
    EXPECT_EQ(CsvOpenErrorText(CsvOpenError::CannotOpen, 0), "読み込めません");

    reason = "untouched";
    EXPECT_TRUE(LoadCsvFileIntoTable(table, dir.Write("t.csv", "9,2\n"), reason));
    EXPECT_EQ(table[0].value, "9");
    EXPECT_EQ(reason, "untouched");
}

TEST(CsvTable, ReadingAFileChecksTheTableAfterwardsWhateverHappened)
{
    ScratchDir dir;
    ArbitraryTable table;
    test::ScriptedPrompter prompter;
    const std::string big = dir.Write("big.csv", "1,1\n");
    fs::resize_file(big, kMaxCsvFileBytes + 1);
    prompter.files = {dir.Write("t.csv", "4,1.5\n20,2\n"), std::nullopt, (dir.path / "gone.csv").string(), big};

    ReadCsvIntoTable(table, 4, 20, prompter);
    EXPECT_EQ(table[1].value, "20");
    EXPECT_TRUE(prompter.shown.empty());

    // Cancelled: the present table is checked all the same.
    table[5] = {"9", ""};
    ReadCsvIntoTable(table, 4, 20, prompter);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "未入力データがあります");

    ReadCsvIntoTable(table, 4, 20, prompter);
    ASSERT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(prompter.shown[1].text, std::string("ファイルが開けません\ngone.csv: ") + std::strerror(ENOENT));
    EXPECT_EQ(prompter.shown[1].caption, "確認");
    EXPECT_EQ(prompter.shown[1].icon, PromptIcon::Information);
    EXPECT_EQ(prompter.shown[2].text, "未入力データがあります");
    EXPECT_EQ(table[0].value, "4");

    // Refused for its size: the reason, not only that it did not open.
    ReadCsvIntoTable(table, 4, 20, prompter);
    ASSERT_EQ(prompter.shown.size(), 5u);
    EXPECT_EQ(prompter.shown[3].text, "ファイルが開けません\nbig.csv: 16 MiB を超えています");
}

ArbitraryTable TableOf(const std::vector<ArbitraryRowText>& rows)
{
    ArbitraryTable table;
    for (std::size_t r = 0; r < rows.size(); ++r)
        table[r] = rows[r];
    return table;
}

TEST(ArbitraryTable, CheckFindsTheFirstFailingRowByTheRulesInOrder)
{
    struct Case {
        std::vector<ArbitraryRowText> rows;
        TableError error;
        int row;
    };
    const Case cases[] = {
        {{}, TableError::None, -1},
        {{{"4", "1"}, {"20", "9999.9"}, {"12", "0.1"}}, TableError::None, -1},
        // Stored as 0 tenths, it would be refused when the dialog opens again.
        {{{"4", "1"}, {"12", "0.05"}}, TableError::IntervalOutside, 1},
        {{{"4", "1"}, {"5", ""}}, TableError::Missing, 1},
        {{{"", "1"}}, TableError::Missing, 0},
        {{{"4", "1"}, {"", ""}, {"5", "1"}}, TableError::Missing, 2},
        {{{"4x", "1"}}, TableError::NotNumber, 0},
        {{{"5 ", "1"}}, TableError::NotNumber, 0},
        {{{" 5", "1,5"}}, TableError::NotNumber, 0},
        {{{"3.999", "x"}}, TableError::OutOfRange, 0},
        {{{"nan", "1"}}, TableError::OutOfRange, 0},
        {{{"4", "10000"}}, TableError::IntervalOutside, 0},
        {{{"4", "0"}}, TableError::IntervalOutside, 0},
        {{{"4", "-1"}}, TableError::IntervalOutside, 0},
        {{{"4", "nan"}}, TableError::IntervalOutside, 0},
    };
    for (const Case& c : cases) {
        const TableCheck check = CheckTable(TableOf(c.rows), 4.0, 20.0);
        EXPECT_EQ(check.error, c.error) << c.rows.size();
        EXPECT_EQ(check.row, c.row) << c.rows.size();
    }
    // The limits in either order.
    EXPECT_EQ(CheckTable(TableOf({{"50", "1"}}), 100.0, 0.0).error, TableError::None);
    EXPECT_EQ(CheckTable(TableOf({{"101", "1"}}), 100.0, 0.0).error, TableError::OutOfRange);

    test::ScriptedPrompter prompter;
    EXPECT_FALSE(CheckTableAndShow(TableOf({{"4", "0"}}), 4.0, 20.0, prompter));
    EXPECT_TRUE(CheckTableAndShow(TableOf({{"4", "1"}}), 4.0, 20.0, prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "値範囲を超えています");
    EXPECT_EQ(prompter.shown[0].caption, "確認");
    EXPECT_EQ(TableErrorText(TableError::NotNumber), std::string("数値以外のデータがあります"));
    EXPECT_EQ(TableErrorText(TableError::OutOfRange), std::string("範囲外データがあります"));
}

TEST(ArbitraryTable, StoreMarksTheRunOfFilledRowsInUseAndTruncatesTheTimes)
{
    ArbitraryPoints points{};
    for (ArbitraryPoint& p : points)
        p = {true, 7.0, 77};
    ASSERT_TRUE(StoreTable(TableOf({{"4", "1.55"}, {"20.5", "0.05"}}), points));
    EXPECT_TRUE(points[0].used);
    EXPECT_EQ(points[0].value, 4.0);
    EXPECT_EQ(points[0].interval, 15);
    EXPECT_EQ(points[1].value, 20.5);
    EXPECT_EQ(points[1].interval, 0);
    EXPECT_FALSE(points[2].used);
    EXPECT_EQ(points[2].value, 0.0);
    EXPECT_EQ(points[99].interval, 0);

    // A text that is no number stops the storing there.
    for (ArbitraryPoint& p : points)
        p = {true, 7.0, 77};
    EXPECT_FALSE(StoreTable(TableOf({{"4", "1"}, {"x", "1"}}), points));
    EXPECT_EQ(points[0].value, 4.0);
    EXPECT_EQ(points[1].value, 7.0);
    EXPECT_EQ(points[2].interval, 77);
}

TEST(ArbitraryTable, FillShowsTheRowsInUseAndSecondsConvertBothWays)
{
    ArbitraryPoints points{};
    points[0] = {true, 4.5, 15};
    points[1] = {false, 9.0, 10};
    points[2] = {true, -1.0, 99999};
    ArbitraryTable table;
    table[1] = {"stale", "stale"};
    FillTableFromPoints(table, points, 3);
    EXPECT_EQ(table[0].value, " 4.500");
    EXPECT_EQ(table[0].interval, "   1.5");
    EXPECT_TRUE(table[1].value.empty() && table[1].interval.empty());
    EXPECT_EQ(table[2].interval, "9999.9");
    // What is shown passes the check and stores back the same rows.
    EXPECT_EQ(CheckTable(table, -5, 5).error, TableError::Missing); // row 2 after the empty row 1
    points[1].used = true;
    FillTableFromPoints(table, points, 3);
    ASSERT_EQ(CheckTable(table, -5, 10).error, TableError::None);
    ArbitraryPoints back{};
    ASSERT_TRUE(StoreTable(table, back));
    EXPECT_EQ(back[2].interval, 99999);
    EXPECT_EQ(back[1].value, 9.0);

    // Decimals a foreign file brings are held to 0-6, never an empty text.
    FillTableFromPoints(table, points, 12);
    EXPECT_EQ(table[0].value, "4.500000");

    EXPECT_EQ(SecondsToTenths(0.5), 5);
    EXPECT_EQ(SecondsToTenths(9999.0), 99990);
    EXPECT_EQ(SecondsToTenths(-0.05), 0);
    EXPECT_EQ(SecondsToTenths(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SecondsToTenths(1e300), INT32_MAX);
    EXPECT_EQ(SecondsToTenths(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

} // namespace
} // namespace velmora
