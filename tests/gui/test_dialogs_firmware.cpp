// The firmware update dialog run from the panel's menu command, over the
// link's FTDI channel and the simulated bridge on the fake clock.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "SimBridge.h"
#include "SimFtdiDevice.h"
#include "firmware/ImageFile.h"
#include "firmware/ui/CProgramUp.h"
#include "link/FtdiChannel.h"
#include "test_dialogs_driver.h"
#include "test_panel_support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

TEST(FirmwareDialog, ChoosesAFileUpdatesTheUnitAndLeavesThroughBack)
{
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    unit.SetChannelCount(2);
    sim::SimBridge bridge(clock);
    auto serial = std::make_unique<sim::SimChannel>(unit, clock);
    auto ftdi = std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, clock), clock, prompter);
    GeneratorLink link(clock, prompter, std::move(serial), std::move(ftdi));

    std::string tmpl = (fs::temp_directory_path() / "velmora-fwdlg-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const fs::path dir = tmpl;
    const fs::path image = dir / "unit.zpg";
    std::ofstream(image, std::ios::binary) << EncodeImageFile({2, 0, 1}, {EncodeImageRecord("S306FFFE000012EA")});
    fs::create_directories(dir / "Hovelt" / "Velmora");

    CVelmoraDoc doc(prompter, CVelmoraDoc::NoStateFile{});
    doc.SetChannelCount(1);
    doc.m_strLastPort = "ttyUSB0";
    CVelmoraView view(doc, link, prompter, std::make_unique<ManualTickSource>());
    view.SetPortLister([](const std::vector<std::string>&) { return TwoPorts(); });
    view.InitialisePanel();
    view.ConnectUnit();
    ASSERT_TRUE(view.IsConnected());
    view.ToggleOutput(0);
    ASSERT_TRUE(doc.m_model.IsOutputOn(0));

    prompter.files.push_back(image.string());
    int runs = 0;
    view.SetDialogRunner([&](QDialog& dialog) {
        ++runs;
        auto* update = qobject_cast<CProgramUp*>(&dialog);
        EXPECT_NE(update, nullptr);
        if (update == nullptr)
            return int(QDialog::Rejected);
        // The unit was let go before the dialog opened.
        EXPECT_FALSE(view.IsConnected());
        EXPECT_FALSE(doc.m_model.IsOutputOn(0));
        EXPECT_FALSE(view.TimerWork());
        return ExecDialog(dialog, [&] {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ファームウェア更新"));
            EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
            auto* go = dialog.findChild<QPushButton*>(QStringLiteral("button1010"));
            EXPECT_FALSE(go->isEnabled());
            update->ChooseFile();
            EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("static1011"))->text().toStdString(), image.string());
            EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("static1014"))->text(), QStringLiteral("更新してください"));
            ASSERT_TRUE(go->isEnabled());
            go->click();
            EXPECT_EQ(dialog.findChild<QProgressBar*>(QStringLiteral("progress1012"))->value(), 100);
            EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("static1014"))->text(), QStringLiteral("更新正常終了"));
            auto* back = dialog.findChild<QPushButton*>(QStringLiteral("button2"));
            EXPECT_EQ(back->text(), QStringLiteral("戻る"));
            EXPECT_FALSE(go->isEnabled());
            back->click();
        });
    });
    // Correction files go below the working folder, as the state file.
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    view.OnFirmwareUpdate();
    fs::current_path(before);
    EXPECT_TRUE(fs::exists(dir / "Hovelt" / "Velmora" / "VK2A0001_R.txt"));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(view.TimerWork());
    EXPECT_FALSE(view.Poller().m_bPolling);
    EXPECT_EQ(bridge.Mcu().Flash()[0], 0x12);
    EXPECT_EQ(prompter.shown.back().text, "更新が終了しました");
    std::error_code ec;
    fs::remove_all(dir, ec);
}

} // namespace
} // namespace velmora::test
