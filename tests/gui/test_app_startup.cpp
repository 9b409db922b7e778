#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include "ScriptedPrompter.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "panel/CVelmoraView.h"
#include "platform/Clock.h"

namespace velmora {
namespace {

using test::ScriptedPrompter;

// Every start-up test runs in its own folder: the state file goes below it
// and the recent list into it, never into the user's own settings.
class AppStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("config"));
    }

    std::unique_ptr<CVelmoraApp> MakeApp()
    {
        const std::string wd = m_dir.path().toStdString();
        return std::make_unique<CVelmoraApp>(prompter, SteadyClock(), [wd] { return std::optional<std::string>(wd); });
    }

    QString StateFile() const { return m_dir.filePath("Hovelt/Velmora/vkx.ini"); }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    // A settings document for `channels` channels, made by the document
    // itself.
    QString WriteDocument(const char* name, int channels, const std::string& lastPort = {})
    {
        ScriptedPrompter quiet;
        CVelmoraDoc doc(quiet, CVelmoraDoc::NoStateFile{});
        doc.SetChannelCount(channels);
        doc.m_strLastPort = lastPort;
        QString path = Path(name);
        EXPECT_TRUE(static_cast<bool>(doc.SaveDocument(path.toStdString())));
        return path;
    }

    int MessagesContaining(const std::string& part) const
    {
        int n = 0;
        for (const auto& shown : prompter.shown)
            n += shown.text.find(part) != std::string::npos ? 1 : 0;
        return n;
    }

    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    QTemporaryDir m_dir;
    ScriptedPrompter prompter;
};

TEST_F(AppStartup, FileOnTheCommandLineOpensWithoutTheCircuitQuestion)
{
    // A state file from an earlier run, and a document to open instead.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(StateFile()).path()));
    ASSERT_TRUE(QFile::copy(WriteDocument("state.ini", 1), StateFile()));
    const QString file = WriteDocument("two.ini", 2);
    auto app = MakeApp();
    AppOptions options;
    options.file = file.toStdString();
    ASSERT_TRUE(app->InitInstance(options));

    EXPECT_EQ(prompter.circuitQuestions, 0);
    EXPECT_EQ(app->Document()->m_model.channelCount, 2);
    EXPECT_EQ(app->PathName(), file);
    EXPECT_EQ(app->MainFrame()->windowTitle(), QStringLiteral("two.ini - Velmora"));
    EXPECT_EQ(app->MainFrame()->size(), app->MainFrame()->FixedSize(432));
    EXPECT_TRUE(app->MainFrame()->isVisible());
    // The panel fills the window below the menu bar, and its channel frames
    // reach its foot: no blank band below them.
    QWidget* panel = app->View();
    EXPECT_EQ(panel->mapTo(app->MainFrame(), QPoint(0, panel->height())).y(), app->MainFrame()->height());
    const QImage drawn = panel->grab().toImage();
    int lowest = -1;
    for (int y = 0; y < drawn.height(); ++y)
        if (drawn.pixelColor(100, y) != QColor(0xD0, 0xD0, 0xD0))
            lowest = y;
    EXPECT_GE(lowest, drawn.height() - 10) << "lowest drawing at " << lowest << " of " << drawn.height();
    EXPECT_LT(lowest, drawn.height());
    EXPECT_EQ(app->RecentFiles().Entries(), QStringList{file});
    // Opening replaced the new document: the first 新規設定 only repairs.
    app->OnFileNew();
    EXPECT_EQ(prompter.circuitQuestions, 0);
    EXPECT_EQ(app->MainFrame()->windowTitle(), QStringLiteral("無題 - Velmora"));
}

TEST_F(AppStartup, CancelledCircuitQuestionEndsStartUpButKeepsTheState)
{
    {
        auto app = MakeApp();
        EXPECT_FALSE(app->InitInstance({}));
        EXPECT_EQ(prompter.circuitQuestions, 1);
        EXPECT_FALSE(QFile::exists(StateFile()));
    }
    // The state file is written at the end of the cancelled start...
    ASSERT_TRUE(QFile::exists(StateFile()));

    // ...so the next start goes on from it without asking.
    auto again = MakeApp();
    ASSERT_TRUE(again->InitInstance({}));
    EXPECT_EQ(prompter.circuitQuestions, 1);
    EXPECT_EQ(again->Document()->m_model.channelCount, 1);
    EXPECT_EQ(again->MainFrame()->size(), again->MainFrame()->FixedSize(300));
}

TEST_F(AppStartup, NewDocumentTakesTheAnsweredCircuitCount)
{
    prompter.circuitAnswers = {2};
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(prompter.circuitQuestions, 1);
    EXPECT_EQ(app->Document()->m_model.channelCount, 2);
    EXPECT_EQ(app->Document()->m_nFrameWidth, 432);
    EXPECT_EQ(app->MainFrame()->size(), app->MainFrame()->FixedSize(432));
    EXPECT_EQ(app->MainFrame()->windowTitle(), QStringLiteral("無題 - Velmora"));
    EXPECT_TRUE(app->PathName().isEmpty());

    // A later 新規設定 asks again; cancelling it keeps the settings.
    app->OnFileNew();
    EXPECT_EQ(prompter.circuitQuestions, 2);
    EXPECT_EQ(app->Document()->m_model.channelCount, 2);

    app.reset();
    EXPECT_TRUE(QFile::exists(StateFile()));
}

TEST_F(AppStartup, MissingCommandLineFileEndsStartUpWithAMessage)
{
    auto app = MakeApp();
    AppOptions options;
    options.file = Path("absent.ini").toStdString();
    EXPECT_FALSE(app->InitInstance(options));
    EXPECT_EQ(MessagesContaining("absent.ini を開けません。"), 1);
    EXPECT_EQ(prompter.circuitQuestions, 0);
    EXPECT_TRUE(app->RecentFiles().Entries().isEmpty());
}

TEST_F(AppStartup, SaveOpenAndTheRecentList)
{
    prompter.circuitAnswers = {1};
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({}));

    // Save without a path asks for one; declining writes nothing.
    EXPECT_FALSE(app->OnFileSave());
    EXPECT_TRUE(app->PathName().isEmpty());

    const QString saved = Path("bench.ini");
    prompter.files = {saved.toStdString()};
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_EQ(app->PathName(), saved);
    EXPECT_EQ(app->MainFrame()->windowTitle(), QStringLiteral("bench.ini - Velmora"));
    EXPECT_EQ(app->RecentFiles().Entries(), QStringList{saved});

    // Saving again goes to the same file without asking.
    QFile::remove(saved);
    ASSERT_TRUE(app->OnFileSave());
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_TRUE(prompter.files.empty());

    // A save that cannot be written says so and keeps the document's path.
    prompter.files = {Path("no/such/folder/x.ini").toStdString()};
    EXPECT_FALSE(app->OnFileSaveAs());
    EXPECT_EQ(MessagesContaining("x.ini を保存できません。"), 1);
    EXPECT_EQ(app->PathName(), saved);

    // Open from the menu.
    const QString other = WriteDocument("other.ini", 2);
    prompter.files = {other.toStdString()};
    app->OnFileOpen();
    EXPECT_EQ(app->PathName(), other);
    EXPECT_EQ(app->Document()->m_model.channelCount, 2);
    EXPECT_EQ(app->MainFrame()->size(), app->MainFrame()->FixedSize(432));
    EXPECT_EQ(app->RecentFiles().Entries(), (QStringList{other, saved}));

    // A recent entry whose file has gone is dropped from the list.
    QFile::remove(saved);
    app->OnOpenRecentFile(1);
    EXPECT_EQ(MessagesContaining("bench.ini を開けません。"), 1);
    EXPECT_EQ(app->RecentFiles().Entries(), QStringList{other});
    EXPECT_EQ(app->PathName(), other);

    // A file of another format still counts as opened (message shown).
    QFile junk(Path("junk.ini"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("\x04junk, not the start marker");
    junk.close();
    EXPECT_TRUE(app->OpenDocumentFile(junk.fileName()));
    EXPECT_EQ(MessagesContaining("ファイル形式が違います。"), 1);
    EXPECT_EQ(app->Title(), QStringLiteral("junk.ini"));

    // The list survives the program.
    app.reset();
    auto next = MakeApp();
    ASSERT_TRUE(next->InitInstance({}));
    EXPECT_EQ(next->RecentFiles().Entries(), (QStringList{junk.fileName(), other}));
    std::vector<QString> shown;
    for (const QAction* action : next->MainFrame()->FileMenu()->actions()) {
        if (action->isVisible() && action->text().startsWith('&'))
            shown.push_back(action->text());
    }
    EXPECT_EQ(shown, (std::vector<QString>{"&1 " + junk.fileName(), "&2 " + other}));
}

TEST_F(AppStartup, DroppedFileOpens)
{
    const QString file = WriteDocument("dropped.ini", 2);
    prompter.circuitAnswers = {1};
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({}));

    // Text is not a file: the window does not take it.
    QMimeData text;
    text.setText(file);
    QDragEnterEvent refused(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app->MainFrame(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app->MainFrame(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(app->MainFrame(), &drop);
    Settle();
    EXPECT_EQ(app->PathName(), file);
    EXPECT_EQ(app->Document()->m_model.channelCount, 2);
}

TEST_F(AppStartup, NamedPortIsChosenWhenTheRememberedOneIsAbsent)
{
    prompter.circuitAnswers = {1, 1};
    AppOptions options;
    options.ports = {"/dev/pts/9998", "/dev/pts/9999"};
    {
        auto app = MakeApp();
        ASSERT_TRUE(app->InitInstance(options));
        EXPECT_EQ(app->Document()->m_strLastPort, "/dev/pts/9998");
        // The panel found the port it was to select: no question about it.
        EXPECT_EQ(MessagesContaining("指定接続ポートが存在しません"), 0);
    }

    // A remembered port that is in the list stays chosen.
    WriteDocument("Hovelt/Velmora/vkx.ini", 1, "/dev/pts/9999");
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance(options));
    EXPECT_EQ(app->Document()->m_strLastPort, "/dev/pts/9999");
}

TEST_F(AppStartup, PrintingDrawsThePanel)
{
    prompter.circuitAnswers = {2};
    auto app = MakeApp();
    ASSERT_TRUE(app->InitInstance({}));

    QImage page(900, 1200, QImage::Format_RGB32);
    page.fill(Qt::white);
    app->MainFrame()->PrintPanel(page);
    int inked = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x)
            inked += page.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
    }
    EXPECT_GT(inked, 100);
}

} // namespace
} // namespace velmora
