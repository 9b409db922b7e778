// The loop-check record as PDF, read back with poppler's tools as an
// auditor's viewer would read it: A4, every font embedded, Japanese text
// that extracts as Japanese, a long test running over pages that each name
// the tag, the results and the page, and the file replaced only when whole.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "platform/Language.h"
#include "report/LoopReportPdf.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// Standard output of a shell command; the exit status in `status`.
std::string Shell(const std::string& command, int& status)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    status = pclose(pipe);
    return out;
}

bool HavePoppler()
{
    int status = 0;
    Shell("command -v pdftotext pdffonts pdfinfo >/dev/null 2>&1", status);
    return status == 0;
}

// A test over 41 points up and down again: more rows than one page holds.
LoopResult LongResult()
{
    LoopResult r;
    r.id = 42;
    r.tag.name = "PT-7";
    r.tag.description = "反応器入口圧力";
    r.tag.location = "第2工場";
    r.tag.range = "4_20mA";
    r.tag.lrv = 0;
    r.tag.urv = 1.6;
    r.tag.unit = "MPa";
    r.tag.decimals = 3;
    r.tag.points.clear();
    for (int p = 0; p <= 100; p += 5)
        r.tag.points.push_back(p);
    r.tag.points = WithWayDown(r.tag.points);
    r.technician = "青木 一郎";
    r.kind = LoopTestKind::AsFoundAndLeft;
    r.startUs = 1'765'343'708'000'000;
    r.endUs = r.startUs + 600'000'000;
    r.unitVersion = "01.00A";
    r.port = "/dev/ttyUSB0";
    r.velmoraVersion = "1.4.0";
    r.remark = "定期点検";
    for (std::size_t i = 0; i < r.tag.points.size(); ++i) {
        LoopPointResult p;
        p.index = static_cast<int>(i) + 1;
        p.percent = r.tag.points[i];
        p.output = 4 + 0.16 * p.percent;
        p.signalUnit = "mA";
        p.expected = ExpectedReading(r.tag, p.percent);
        p.reading = p.expected + 0.001;
        p.errorPercent = ErrorPercentOfSpan(r.tag, p.expected, p.reading);
        p.verdict = JudgeError(r.tag, p.errorPercent);
        r.points.push_back(p);
    }
    r.verdict = TestVerdict::Pass;
    r.hash = ResultHash(r);
    return r;
}

class LoopReportPdfTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
            ("velmora-loopreport-pdf-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        SetLanguage(Language::Japanese);
        fs::remove_all(m_dir);
    }
    fs::path m_dir;
};

TEST_F(LoopReportPdfTest, ALongJapaneseRecordRunsOverA4PagesWithEmbeddedFonts)
{
    if (!HavePoppler())
        GTEST_SKIP() << "pdftotext, pdffonts and pdfinfo (poppler-utils) are needed";
    SetLanguage(Language::Japanese);
    LoopReportContext context;
    context.chain.checked = 42;
    context.madeUs = 1'765'350'000'000'000;
    context.velmoraVersion = "1.4.0";
    const LoopResult result = LongResult();
    const LoopReport report = BuildLoopReport({result}, context);
    const std::string path = (m_dir / "PT-7.pdf").string();
    const LoopReportWrite written = WriteLoopReport(report, path);
    ASSERT_TRUE(written.ok) << written.message;

    int status = 0;
    const std::string info = Shell("pdfinfo '" + path + "'", status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    std::smatch pages;
    ASSERT_TRUE(std::regex_search(info, pages, std::regex("Pages:\\s+(\\d+)")));
    const int pageCount = std::stoi(pages[1]);
    EXPECT_GE(pageCount, 2);

    // Every font is embedded: a viewer without IPA Gothic shows the same.
    const std::string fonts = Shell("pdffonts '" + path + "'", status);
    ASSERT_EQ(status, 0);
    std::istringstream lines(fonts);
    std::string line;
    int fontRows = 0;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (n < 2 || line.empty())
            continue; // the heading and its rule
        ++fontRows;
        EXPECT_TRUE(std::regex_search(line, std::regex("\\s+yes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$")))
            << "not embedded: " << line;
    }
    EXPECT_GE(fontRows, 1);

    // Each page's foot: the tag, the result and the page of how many.
    for (int p = 1; p <= pageCount; ++p) {
        const std::string text =
            Shell("pdftotext -f " + std::to_string(p) + " -l " + std::to_string(p) + " '" + path + "' -", status);
        EXPECT_NE(text.find("PT-7、結果 42"), std::string::npos) << "page " << p;
        EXPECT_NE(text.find(std::to_string(p) + " / " + std::to_string(pageCount) + " ページ"), std::string::npos)
            << "page " << p << ":\n"
            << text;
    }
    const std::string all = Shell("pdftotext -layout '" + path + "' -", status);
    for (const char* words : {"ループチェック記録", "反応器入口圧力", "青木 一郎", "調整前・調整後（調整なし）", "合格",
                              "実施者", "確認者", "署名"})
        EXPECT_NE(all.find(words), std::string::npos) << words;
    EXPECT_NE(all.find(result.hash), std::string::npos);
    // Every one of the 41 rows, up and down, is there once: none lost at a
    // page break. The 25th is 80 % on the way down: 16.8 mA, 1.280 MPa.
    const std::regex row(
        "(^|\\n)\\s*(\\d+)\\s+\\d+\\s+\\d+\\.\\d{3} mA\\s+\\d\\.\\d{3}\\s+\\d\\.\\d{3}\\s+\\+0\\.06\\s+合格");
    int rows = 0;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), row); it != std::sregex_iterator(); ++it)
        ++rows;
    EXPECT_EQ(rows, 41) << all;
    EXPECT_TRUE(std::regex_search(all, std::regex("25\\s+80\\s+16\\.800 mA\\s+1\\.280\\s+1\\.281\\s+\\+0\\.06")));
}

TEST_F(LoopReportPdfTest, AFileIsReplacedOnlyByAWholeRecord)
{
    SetLanguage(Language::English);
    const LoopReport report = BuildLoopReport({LongResult()}, {});
    const std::string path = (m_dir / "record.txt").string();
    {
        std::ofstream keep(path);
        keep << "kept";
    }
    const LoopReportWrite refused = WriteLoopReport(report, path);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, path + ": the record is written as .pdf, .html or .csv");
    std::ifstream in(path);
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "kept");

    const std::string pdf = (m_dir / "record.PDF").string();
    ASSERT_TRUE(WriteLoopReport(report, pdf).ok);
    std::ifstream made(pdf, std::ios::binary);
    std::string head(5, '\0');
    made.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
    const std::string missing = (m_dir / "gone" / "record.pdf").string();
    const LoopReportWrite failed = WriteLoopReport(report, missing);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message.rfind(missing + ": ", 0), 0U) << failed.message;
}

} // namespace
} // namespace velmora::test
