#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CMainFrame.h"
#include "panelcore/PanelLayout.h"

#include "model/CVelmoraDoc.h"

namespace velmora {
namespace {

struct MenuItem {
    QString text;
    QString keys;
    bool enabled;
};

std::vector<MenuItem> VisibleItems(const QMenu* menu)
{
    std::vector<MenuItem> items;
    for (const QAction* action : menu->actions()) {
        if (!action->isVisible())
            continue;
        items.push_back({action->isSeparator() ? QStringLiteral("-") : action->text(),
                         action->shortcut().toString(QKeySequence::PortableText), action->isEnabled()});
    }
    return items;
}

TEST(AppFrame, OpensAtTheFormulaPositionOfTheWorkArea)
{
    EXPECT_EQ(CMainFrame::FramePosition(QRect(0, 0, 1920, 1040)), QPoint(810, 255));
    // The formula takes the area's far edges, not its centre: a taskbar at
    // the top moves the frame by half its height.
    EXPECT_EQ(CMainFrame::FramePosition(QRect(0, 40, 1920, 1040)), QPoint(810, 275));
    EXPECT_EQ(CMainFrame::FramePosition(QRect(0, 0, 1367, 769)), QPoint(533, 119));

    CMainFrame frame(432);
    const QRect area = frame.screen()->availableGeometry();
    EXPECT_EQ(frame.pos(), CMainFrame::FramePosition(area));
}

TEST(AppFrame, AWideFrameStaysInsideTheWorkArea)
{
    const QRect small(0, 0, 1280, 1024);
    // The formula puts the 842-pixel frame's right edge past 1280.
    const QPoint formula = CMainFrame::FramePosition(small);
    EXPECT_EQ(CMainFrame::KeptInside(formula, 842, small), QPoint(1280 - 842, formula.y()));
    // Frames that fit stay where the formula puts them.
    EXPECT_EQ(CMainFrame::KeptInside(formula, 432, small), formula);
    EXPECT_EQ(CMainFrame::KeptInside(QPoint(810, 255), 842, QRect(0, 0, 1920, 1040)), QPoint(810, 255));
    // An area narrower than the frame: its left edge.
    EXPECT_EQ(CMainFrame::KeptInside(QPoint(300, 0), 842, QRect(100, 0, 800, 600)), QPoint(100, 0));
}

TEST(AppFrame, WidthFollowsTheChannelCountAndCannotBeChanged)
{
    for (int width : {300, 432, 842}) {
        CMainFrame frame(width);
        const QSize fixed(width, frame.menuBar()->sizeHint().height() + kPanelHeight);
        EXPECT_EQ(frame.FixedSize(width), fixed);
        EXPECT_EQ(frame.size(), fixed);
        EXPECT_EQ(frame.minimumSize(), fixed);
        EXPECT_EQ(frame.maximumSize(), fixed);
        EXPECT_EQ(frame.FrameWidth(), width);
        // Dragging a border asks for another size; the frame refuses it.
        frame.resize(width + 100, 600);
        EXPECT_EQ(frame.size(), fixed);
    }

    // Anything else from a damaged state file becomes the one-channel width.
    CMainFrame frame(500);
    EXPECT_EQ(frame.FrameWidth(), 300);
    EXPECT_EQ(frame.size(), frame.FixedSize(300));

    frame.ApplyFrameWidth(842);
    EXPECT_EQ(frame.size(), frame.FixedSize(842));
    EXPECT_EQ(frame.maximumSize(), frame.FixedSize(842));
    EXPECT_EQ(frame.FrameWidth(), 842);
    const QPoint before = frame.pos();
    frame.ApplyFrameWidth(-7);
    EXPECT_EQ(frame.size(), frame.FixedSize(300));
    EXPECT_EQ(frame.pos(), before);
}

TEST(AppFrame, CaptionMenusAndKeys)
{
    CMainFrame frame(300);
    frame.SetDocumentTitle(QStringLiteral("無題"));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("無題 - Velmora"));
    frame.SetDocumentTitle(QStringLiteral("bench.ini"));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("bench.ini - Velmora"));

    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("設定"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("表示(&V)"));
    EXPECT_EQ(menus[3]->text(), QStringLiteral("ヘルプ(&H)"));
    EXPECT_EQ(menus[4]->text(), QStringLiteral("ループチェック(&L)"));

    const std::vector<MenuItem> file = VisibleItems(menus[0]->menu());
    ASSERT_EQ(file.size(), 8u);
    EXPECT_EQ(file[0].text, QStringLiteral("新規設定(&N)"));
    EXPECT_EQ(file[0].keys, QStringLiteral("Ctrl+N"));
    EXPECT_EQ(file[1].text, QStringLiteral("開く(&O)..."));
    EXPECT_EQ(file[1].keys, QStringLiteral("Ctrl+O"));
    EXPECT_EQ(file[2].text, QStringLiteral("上書き保存(&S)"));
    EXPECT_EQ(file[2].keys, QStringLiteral("Ctrl+S"));
    EXPECT_EQ(file[3].text, QStringLiteral("名前を付けて保存(&A)..."));
    EXPECT_EQ(file[4].text, QStringLiteral("-"));
    EXPECT_EQ(file[5].text, QStringLiteral("最近使った設定"));
    EXPECT_FALSE(file[5].enabled);
    EXPECT_EQ(file[6].text, QStringLiteral("-"));
    EXPECT_EQ(file[7].text, QStringLiteral("アプリケーションの終了(&X)"));

    const std::vector<MenuItem> settings = VisibleItems(menus[1]->menu());
    ASSERT_EQ(settings.size(), 3u);
    EXPECT_EQ(settings[0].text, QStringLiteral("アナログ出力調整"));
    // Without a connected unit there is nothing to adjust.
    EXPECT_FALSE(settings[0].enabled);
    EXPECT_EQ(settings[1].text, QStringLiteral("-"));
    // The SCPI listener's switch works with or without a unit.
    EXPECT_EQ(settings[2].text, QStringLiteral("リモート制御 (SCPI)"));
    EXPECT_TRUE(settings[2].enabled);

    // The trend reads the run record: without one it cannot be opened, and
    // its tooltip says why.
    const std::vector<MenuItem> view = VisibleItems(menus[2]->menu());
    ASSERT_EQ(view.size(), 1u);
    EXPECT_EQ(view[0].text, QStringLiteral("トレンド(&T)"));
    EXPECT_FALSE(view[0].enabled);
    EXPECT_TRUE(menus[2]->menu()->toolTipsVisible());
    frame.SetTrendAvailable(false, QStringLiteral("記録なし"));
    EXPECT_EQ(frame.TrendAction()->toolTip(), QStringLiteral("記録なし"));
    frame.SetTrendAvailable(true, QString());
    EXPECT_TRUE(frame.TrendAction()->isEnabled());

    // The loop check opens its window whether or not a unit is connected:
    // the tags and results need none.
    const std::vector<MenuItem> loop = VisibleItems(menus[4]->menu());
    ASSERT_EQ(loop.size(), 2u);
    EXPECT_EQ(loop[0].text, QStringLiteral("タグ一覧(&T)..."));
    EXPECT_EQ(loop[1].text, QStringLiteral("記録の検証(&V)"));
    EXPECT_TRUE(loop[0].enabled && loop[1].enabled);

    const std::vector<MenuItem> help = VisibleItems(menus[3]->menu());
    ASSERT_EQ(help.size(), 4u);
    EXPECT_EQ(help[0].text, QStringLiteral("発生器　情報"));
    EXPECT_EQ(help[1].text, QStringLiteral("発生器　ファームウェア更新"));
    EXPECT_EQ(help[2].text, QStringLiteral("-"));
    EXPECT_EQ(help[3].text, QStringLiteral("バージョン情報 Velmora(&A)..."));

    // Printing has its key on the window, not in a menu.
    bool printKey = false;
    for (const QAction* action : frame.actions())
        printKey = printKey || action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_P);
    EXPECT_TRUE(printKey);
}

// The one-channel frame is too narrow for every menu: those that do not fit
// go behind the bar's extension button. File, Settings, View and Help stay
// on the bar; two channels show every menu.
TEST(AppFrame, TheNarrowFramesBarKeepsTheFirstFourMenus)
{
    for (const int width : {CMainFrame::kWidthOneChannel, CMainFrame::kWidthTwoChannels}) {
        CMainFrame frame(width);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        const QList<QAction*> menus = frame.menuBar()->actions();
        ASSERT_EQ(menus.size(), 5);
        for (int i = 0; i < menus.size(); ++i) {
            const QRect at = frame.menuBar()->actionGeometry(menus[i]);
            const bool onTheBar = !at.isEmpty() && at.right() < frame.menuBar()->width();
            if (i < 4 || width != CMainFrame::kWidthOneChannel) {
                EXPECT_TRUE(onTheBar) << width << " " << menus[i]->text().toStdString();
            }
        }
    }
}

TEST(AppFrame, RecentEntriesReplaceThePlaceholder)
{
    CMainFrame frame(300);
    frame.SetRecentFiles({"/data/b.ini", "/data/R&D.ini"});
    std::vector<MenuItem> file = VisibleItems(frame.FileMenu());
    ASSERT_EQ(file.size(), 9u);
    EXPECT_EQ(file[5].text, QStringLiteral("&1 /data/b.ini"));
    EXPECT_EQ(file[6].text, QStringLiteral("&2 /data/R&&D.ini"));
    EXPECT_TRUE(file[5].enabled);

    int requested = -1;
    QObject::connect(&frame, &CMainFrame::RecentRequested, [&requested](int i) { requested = i; });
    for (QAction* action : frame.FileMenu()->actions()) {
        if (action->text() == QStringLiteral("&2 /data/R&&D.ini"))
            action->trigger();
    }
    EXPECT_EQ(requested, 1);

    frame.SetRecentFiles({});
    file = VisibleItems(frame.FileMenu());
    ASSERT_EQ(file.size(), 8u);
    EXPECT_EQ(file[5].text, QStringLiteral("最近使った設定"));
}

} // namespace
} // namespace velmora
