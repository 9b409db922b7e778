// Saves killed at random points: a settings document, the state file and a
// correction file are each saved over and over by a child process that is
// sent SIGKILL somewhere in the middle. Afterwards the file is the old
// version or the new one, byte for byte, and the next save leaves no
// temporary file beside it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "ScriptedPrompter.h"
#include "firmware/CorrectionFile.h"
#include "model/CVelmoraDoc.h"

using namespace velmora;
using velmora::test::ScriptedPrompter;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int Temporaries(const fs::path& dir)
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().extension() == ".tmp" ? 1 : 0;
    return n;
}

class KilledSaves : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-killed-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // `save(k)` writes version k % 2 of `file`; both versions are given. A
    // child saves without end and is killed after a random while, `rounds`
    // times; each time the file must be one of the versions.
    void KillWhileSaving(const fs::path& file, const std::function<void(int)>& save, const std::string& even,
                         const std::string& odd, int rounds)
    {
        std::mt19937 rng(20261209);
        save(0);
        ASSERT_EQ(Slurp(file), even);
        for (int round = 0; round < rounds; ++round) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                for (int k = round + 1;; ++k)
                    save(k);
            }
            // Somewhere in the first few saves, or between two of them.
            ::usleep(static_cast<useconds_t>(rng() % 3000));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const std::string now = Slurp(file);
            ASSERT_TRUE(now == even || now == odd) << "round " << round << ": " << now.size() << " bytes";
            // What a killed save may have left is cleared by the next one.
            save(round);
            ASSERT_EQ(Temporaries(file.parent_path()), 0) << "round " << round;
        }
    }

    fs::path m_dir;
};

} // namespace

TEST_F(KilledSaves, ASettingsDocumentIsAlwaysTheOldOrTheNewOne)
{
    ScriptedPrompter prompter;
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    const fs::path file = m_dir / "bench.ini";
    std::string versions[2];
    for (int k = 0; k < 2; ++k) {
        doc.m_model.channels[0].presets[0][0] = k == 0 ? 1.5 : 20.25;
        ASSERT_TRUE(doc.SaveDocument(file.string()));
        versions[k] = Slurp(file);
    }
    ASSERT_NE(versions[0], versions[1]);
    KillWhileSaving(
        file,
        [&](int k) {
            doc.m_model.channels[0].presets[0][0] = k % 2 == 0 ? 1.5 : 20.25;
            (void)doc.SaveDocument(file.string());
        },
        versions[0], versions[1], 70);
}

TEST_F(KilledSaves, TheStateFileIsAlwaysTheOldOrTheNewOne)
{
    ScriptedPrompter prompter;
    const std::string dir = m_dir.string();
    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    CVelmoraDoc state(prompter, [dir] { return std::optional<std::string>(dir); });
    ASSERT_TRUE(state.StateFilePath());
    const fs::path file = *state.StateFilePath();
    std::string versions[2];
    for (int k = 0; k < 2; ++k) {
        state.m_strLastPort = k == 0 ? "/dev/ttyUSB0" : "/dev/ttyACM12";
        ASSERT_TRUE(state.SaveStateFile());
        versions[k] = Slurp(file);
    }
    KillWhileSaving(
        file,
        [&](int k) {
            state.m_strLastPort = k % 2 == 0 ? "/dev/ttyUSB0" : "/dev/ttyACM12";
            (void)state.SaveStateFile();
        },
        versions[0], versions[1], 65);
}

TEST_F(KilledSaves, ACorrectionFileIsAlwaysTheOldOrTheNewOne)
{
    GeneratorModel model;
    model.channelCount = 2;
    ResetCorrections(model);
    const fs::path file = m_dir / "VK2A0001_R.txt";
    const auto version = [&model](int k) {
        model.channels[1].userAdjustment[10].minCorrection = k % 2 == 0 ? 0x0002 : 0xFFF0;
        return BuildCorrectionFile(model, "VK2A0001");
    };
    const std::string even = version(0), odd = version(1);
    KillWhileSaving(
        file,
        [&](int k) {
            version(k);
            (void)SaveCorrectionFile(file.string(), model, "VK2A0001");
        },
        even, odd, 65);
}
