#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "FileSizeLimit.h"

using namespace velmora;
using velmora::test::FileSizeLimit;
namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-atomic-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static std::string Slurp(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static void Put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    // Only the target may be left in the folder: no temporary files.
    int EntriesInDir() const
    {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_dir))
            ++n;
        return n;
    }

    fs::path m_dir;
};

} // namespace

TEST_F(AtomicFileTest, CreatesAndReplacesWithExactBytes)
{
    const fs::path target = m_dir / "doc.ini";
    const std::string first("\x13<<## VKX Start ##>>\0\xFF", 22);
    ASSERT_TRUE(WriteFileAtomically(target.string(), first));
    EXPECT_EQ(Slurp(target), first);

    ASSERT_TRUE(WriteFileAtomically(target.string(), "second"));
    EXPECT_EQ(Slurp(target), "second");
    EXPECT_EQ(EntriesInDir(), 1);

    ASSERT_TRUE(WriteFileAtomically(target.string(), ""));
    EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(AtomicFileTest, ReplacedFileKeepsItsPermissions)
{
    const fs::path target = m_dir / "doc.ini";
    Put(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(target.string(), "new"));
    struct stat st { };
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(AtomicFileTest, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    const fs::path target = m_dir / "vkx.ini";
    Put(target, "the previous settings");
    AtomicWriteResult r;
    {
        FileSizeLimit limit(100);
        r = WriteFileAtomically(target.string(), std::string(11748, 'x'));
    }
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, AtomicWriteError::Write);
    EXPECT_EQ(r.sysError, EFBIG);
    EXPECT_NE(r.Describe().find("write"), std::string::npos);
    EXPECT_EQ(Slurp(target), "the previous settings");
    EXPECT_EQ(EntriesInDir(), 1);
}

TEST_F(AtomicFileTest, MissingFolderAndUnreplaceableTargetAreReported)
{
    const AtomicWriteResult missing = WriteFileAtomically((m_dir / "no" / "such.ini").string(), "x");
    EXPECT_EQ(missing.error, AtomicWriteError::CreateTemp);
    EXPECT_EQ(missing.sysError, ENOENT);

    // A folder in the target's place cannot be replaced by a file.
    const fs::path target = m_dir / "taken";
    fs::create_directory(target);
    Put(target / "inside", "kept");
    const AtomicWriteResult r = WriteFileAtomically(target.string(), "x");
    EXPECT_EQ(r.error, AtomicWriteError::Rename);
    EXPECT_EQ(Slurp(target / "inside"), "kept");
    EXPECT_EQ(EntriesInDir(), 1);
}

TEST_F(AtomicFileTest, ASaveThroughALinkReplacesWhatItNamesAndKeepsTheLink)
{
    fs::create_directory(m_dir / "real");
    const fs::path target = m_dir / "real" / "vkx.ini";
    Put(target, "old");
    ::chmod(target.c_str(), 0640);
    const fs::path link = m_dir / "vkx.ini";
    fs::create_symlink("real/vkx.ini", link);
    const fs::path chain = m_dir / "again.ini";
    fs::create_symlink(link, chain);

    ASSERT_TRUE(WriteFileAtomically(chain.string(), "new bytes"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_symlink(chain));
    EXPECT_EQ(Slurp(target), "new bytes");
    struct stat st { };
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A link that names nothing yet gets its file; a loop of links is refused.
    fs::create_symlink("real/later.ini", m_dir / "later.ini");
    ASSERT_TRUE(WriteFileAtomically((m_dir / "later.ini").string(), "made"));
    EXPECT_EQ(Slurp(m_dir / "real" / "later.ini"), "made");
    fs::create_symlink("loop2", m_dir / "loop1");
    fs::create_symlink("loop1", m_dir / "loop2");
    const AtomicWriteResult loop = WriteFileAtomically((m_dir / "loop1").string(), "x");
    EXPECT_EQ(loop.error, AtomicWriteError::CreateTemp);
    EXPECT_EQ(loop.sysError, ELOOP);
}

TEST_F(AtomicFileTest, TemporariesOfKilledSavesGoAtTheNextSave)
{
    const fs::path target = m_dir / "vkx.ini";
    Put(target, "old");
    // One of a writer that is gone, one of a live one (this process's parent
    // stands in), and a file that only looks alike.
    Put(m_dir / "vkx.ini.2147483646.7.tmp", "half");
    const std::string live = "vkx.ini." + std::to_string(::getppid()) + ".1.tmp";
    Put(m_dir / live, "busy");
    Put(m_dir / "vkx.ini.notes.tmp", "mine");
    ASSERT_TRUE(WriteFileAtomically(target.string(), "new"));
    EXPECT_FALSE(fs::exists(m_dir / "vkx.ini.2147483646.7.tmp"));
    EXPECT_TRUE(fs::exists(m_dir / live));
    EXPECT_TRUE(fs::exists(m_dir / "vkx.ini.notes.tmp"));
    EXPECT_EQ(Slurp(target), "new");
}

TEST_F(AtomicFileTest, AFolderThatCannotBeWrittenStillTakesAWritableFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes every folder";
    const fs::path target = m_dir / "vkx.ini";
    Put(target, "a longer old content");
    ::chmod(m_dir.c_str(), 0555);
    const AtomicWriteResult r = WriteFileAtomically(target.string(), "new");
    const AtomicWriteResult refused = WriteFileAtomically((m_dir / "other.ini").string(), "x");
    ::chmod(m_dir.c_str(), 0755);
    EXPECT_TRUE(r) << r.Describe();
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(refused.error, AtomicWriteError::CreateTemp);
    EXPECT_EQ(refused.Describe(), "create: Permission denied");
}

TEST_F(AtomicFileTest, AFileWrittenPieceByPieceAppearsWholeOrNotAtAll)
{
    const fs::path real = m_dir / "export.csv";
    const fs::path link = m_dir / "latest.csv";
    Put(real, "the last export");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real.filename(), link);

    // Abandoned half way (a stop, a failed query): the old file, no other.
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Begin(link.string()));
        EXPECT_TRUE(w.Write("seq,time\r\n"));
    }
    EXPECT_EQ(Slurp(real), "the last export");
    EXPECT_EQ(EntriesInDir(), 2);

    // Through the link: the file it names gets the rows and keeps its mode.
    AtomicFileWriter w;
    ASSERT_TRUE(w.Begin(link.string()));
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(w.Write(std::to_string(i) + ",x\r\n"));
    ASSERT_TRUE(w.Commit());
    EXPECT_TRUE(fs::is_symlink(link));
    const std::string text = Slurp(real);
    EXPECT_EQ(text.rfind("0,x\r\n", 0), 0u);
    EXPECT_NE(text.find("999,x\r\n"), std::string::npos);
    struct stat st { };
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(EntriesInDir(), 2);

    // A write that fails is reported by the commit, and the file stays.
    AtomicWriteResult r;
    {
        AtomicFileWriter big;
        ASSERT_TRUE(big.Begin(real.string()));
        FileSizeLimit limit(100);
        EXPECT_FALSE(big.Write(std::string(4096, 'x')));
        r = big.Commit();
    }
    EXPECT_EQ(r.error, AtomicWriteError::Write);
    EXPECT_EQ(r.sysError, EFBIG);
    EXPECT_EQ(Slurp(real), text);
    EXPECT_EQ(EntriesInDir(), 2);
}
