#include <QCursor>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "app/AppSetup.h"
#include "app/CAboutDlg.h"
#include "app/QtPrompter.h"
#include "app/RecentFileList.h"

namespace velmora {
namespace {

TEST(AppRecentFiles, KeepsFourMostRecentFirstAcrossInstances)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    RecentFileList list;
    list.Load();
    EXPECT_TRUE(list.Entries().isEmpty());
    for (const char* name : {"/d/1.ini", "/d/2.ini", "/d/3.ini", "/d/4.ini", "/d/5.ini", "/d/3.ini"})
        list.Add(QString::fromUtf8(name));
    EXPECT_EQ(list.Entries(), (QStringList{"/d/3.ini", "/d/5.ini", "/d/4.ini", "/d/2.ini"}));
    list.Save();

    RecentFileList again;
    again.Load();
    EXPECT_EQ(again.Entries(), list.Entries());

    // Stored under the section and names the earlier program used.
    QSettings raw(QSettings::IniFormat, QSettings::UserScope, "Hovelt", "Velmora");
    EXPECT_EQ(raw.value("Recent File List/File1").toString(), QStringLiteral("/d/3.ini"));
    EXPECT_EQ(raw.value("Recent File List/File4").toString(), QStringLiteral("/d/2.ini"));

    // Removing shortens the stored list, too.
    again.Remove(0);
    again.Remove(9);
    again.Save();
    RecentFileList third;
    third.Load();
    EXPECT_EQ(third.Entries(), (QStringList{"/d/5.ini", "/d/4.ini", "/d/2.ini"}));

    // A hand-edited file with gaps and repeats loads as a clean list.
    raw.sync();
    raw.setValue("Recent File List/File1", "/d/x.ini");
    raw.setValue("Recent File List/File2", "");
    raw.setValue("Recent File List/File3", "/d/x.ini");
    raw.setValue("Recent File List/File4", "/d/y.ini");
    raw.sync();
    RecentFileList edited;
    edited.Load();
    EXPECT_EQ(edited.Entries(), (QStringList{"/d/x.ini", "/d/y.ini"}));
}

TEST(AppTranslations, StandardDialogsSpeakJapanese)
{
    const QLocale before;
    QTranslator* translator = InstallQtTranslations(*static_cast<QApplication*>(QCoreApplication::instance()));
    ASSERT_NE(translator, nullptr) << "Qt's Japanese translations are not installed";
    {
        QFileDialog chooser(nullptr, QStringLiteral("開く"));
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        auto* buttons = chooser.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        auto* name = chooser.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
        ASSERT_NE(name, nullptr);
        EXPECT_FALSE(name->text().contains(QStringLiteral("File"))) << name->text().toStdString();
        auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        ASSERT_NE(lookIn, nullptr);
        EXPECT_FALSE(lookIn->text().contains(QStringLiteral("Look"))) << lookIn->text().toStdString();
    }
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    QCoreApplication::removeTranslator(translator);
    delete translator;
    QLocale::setDefault(before);
    QDialogButtonBox english(QDialogButtonBox::Cancel);
    EXPECT_EQ(english.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
}

TEST(AppAbout, ShowsTheProgramsVersionAndCopyright)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("バージョン情報 Velmora"));
    EXPECT_EQ(about.ShownVersion(), QStringLiteral("Version 1.0.0.3"));
    EXPECT_FALSE(about.ShownCopyright().isEmpty());
    EXPECT_EQ(CAboutDlg::VersionText("1.0.0.3", "rc1"), QStringLiteral("Version 1.0.0.3-rc1"));
    EXPECT_EQ(CAboutDlg::VersionText("", "rc1"), QStringLiteral("Version rc1"));
    EXPECT_EQ(CAboutDlg::VersionText("", ""), QString());
}

TEST(AppPrompter, FileFiltersShowEveryFileForStarDotStar)
{
    const QString text =
        QtPrompter::FilterText({{"Velmora Files (*.ini)", "*.ini"}, {"すべてのファイル (*.*)", "*.*"}});
    EXPECT_EQ(text, QStringLiteral("Velmora Files (*.ini);;すべてのファイル (*)"));
    EXPECT_EQ(QtPrompter::FilterText({{"CSV", "*.csv"}}), QStringLiteral("CSV (*.csv)"));
}

TEST(AppPrompter, BusyNestsAndNeverPopsAForeignCursor)
{
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        QtPrompter prompter;
        prompter.SetBusy(false); // unmatched: nothing to undo
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        {
            BusyScope outer(prompter);
            BusyScope inner(prompter);
            ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
            EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        // A prompter that goes while busy takes its cursor along.
        prompter.SetBusy(true);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace velmora
