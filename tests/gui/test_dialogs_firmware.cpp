// The firmware update dialog run from the panel's menu command, over the
// link's FTDI channel and the simulated bridge on the fake clock.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

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
            EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("static1014"))->text(),
                      QStringLiteral("更新してください"));
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

// The dialog on its own over the simulated bridge, with an image file and
// the correction folder in a scratch folder.
struct UpdateDialogRig {
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    sim::SimBridge bridge{clock};
    GeneratorModel model;
    fs::path dir;
    std::unique_ptr<GeneratorLink> link;
    FtdiChannel* ftdi = nullptr;

    UpdateDialogRig()
    {
        std::string tmpl = (fs::temp_directory_path() / "velmora-fwdlg-XXXXXX").string();
        if (mkdtemp(tmpl.data()) != nullptr)
            dir = tmpl;
        std::ofstream(dir / "unit.zpg", std::ios::binary)
            << EncodeImageFile({2, 0, 1}, {EncodeImageRecord("S306FFFE000012EA")});
        fs::create_directories(Folder());
        auto channel =
            std::make_unique<FtdiChannel>(std::make_unique<sim::SimFtdiDevice>(bridge, clock), clock, prompter);
        ftdi = channel.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::make_unique<sim::SimChannel>(unit, clock),
                                               std::move(channel));
        prompter.files.push_back((dir / "unit.zpg").string());
    }
    ~UpdateDialogRig()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Folder() const { return dir / "Hovelt" / "Velmora"; }

    // Runs the update from its button; `duringUpdate` is called whenever the
    // update lets the window's events run, until it answers true.
    void RunUpdate(CProgramUp& dialog, const std::function<bool()>& duringUpdate)
    {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
            if (duringUpdate())
                watch.stop();
        });
        watch.start(0);
        dialog.ChooseFile();
        dialog.findChild<QPushButton*>(QStringLiteral("button1010"))->click();
    }
};

// A unit that never synchronises is restarted without end. Cancel stays
// enabled throughout, as Escape works throughout, and a click on it ends
// the update as Escape does.
TEST(FirmwareDialog, CancelIsThereThroughoutAndEndsTheEndlessRestarts)
{
    UpdateDialogRig rig;
    rig.bridge.Mcu().Faults().noSync = true;
    CProgramUp dialog(*rig.link, *rig.ftdi, rig.model, rig.Folder().string(), rig.prompter);
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("button2"));
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("static1014"));
    std::vector<QString> seen;
    bool alwaysEnabled = true;
    const int result = ExecDialog(dialog, [&] {
        rig.RunUpdate(dialog, [&] {
            if (seen.empty() || seen.back() != status->text())
                seen.push_back(status->text());
            alwaysEnabled = alwaysEnabled && cancel->isEnabled();
            if (rig.bridge.Floor().bootEntries < 3)
                return false;
            cancel->click();
            return true;
        });
        EXPECT_FALSE(dialog.IsBusy());
        EXPECT_EQ(status->text(), QStringLiteral("キャンセルしました"));
        EXPECT_EQ(rig.prompter.shown.back().text, "キャンセルしました\n発生器を再起動してください");
        // Still open: the click asked the update to stop, the next one leaves.
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(cancel->isEnabled());
        cancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(alwaysEnabled);
    for (const char* text : {"本体補正データ受信中", "更新準備中", "ビットレート自動調整中"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), QString::fromUtf8(text)), seen.end()) << text;
    EXPECT_EQ(rig.bridge.Mcu().BlocksErased(), 0);
}

// A read-back that differs: the short text first, then where and what, and
// where the calibration waits for the next try.
TEST(FirmwareDialog, AReadBackDifferenceIsShownWithWhereTheCalibrationIsKept)
{
    UpdateDialogRig rig;
    rig.bridge.Mcu().Faults().corruptBlock = 0;
    CProgramUp dialog(*rig.link, *rig.ftdi, rig.model, rig.Folder().string(), rig.prompter);
    ExecDialog(dialog, [&] {
        rig.RunUpdate(dialog, [] { return true; });
        dialog.reject();
    });
    const std::string file = (rig.Folder() / "VK2A0001_R.txt").string();
    const std::string shown = rig.prompter.shown.back().text;
    EXPECT_EQ(shown.find("Memory read Error\n照合相違 FFFE00C8: 読出し "), 0u) << shown;
    EXPECT_TRUE(shown.ends_with("\n発生器の補正データは補正ファイル " + file +
                                " に保存されています\n更新をやり直すと書き戻されます"))
        << shown;
    EXPECT_TRUE(fs::exists(file));
}

} // namespace
} // namespace velmora::test
