// The connection lifecycle against the simulated unit: port list, connect
// sequence, status polling on the tick, a unit that goes silent, a unit
// with another channel count, and closing while connected.
#include "test_panel_support.h"

namespace velmora::test {
namespace {

TEST(PanelPorts, ListShowsNamesAndPreselectsTheRememberedPort)
{
    PanelRig rig(1, 1, false);
    rig.doc->m_strLastPort = "ttyUSB1";
    rig.view->InitialisePanel();
    auto* list = rig.Control<QComboBox>(kPortListId);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), QStringLiteral("(ttyUSB0)  FT230X Basic UART"));
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(PanelPorts, MissingRememberedPortSelectsTheFirstAndSaysSo)
{
    PanelRig rig(1, 1, false);
    rig.doc->m_strLastPort = "ttyUSB9";
    rig.view->InitialisePanel();
    EXPECT_EQ(rig.Control<QComboBox>(kPortListId)->currentIndex(), 0);
    EXPECT_TRUE(rig.LastMessageIs("指定接続ポートが存在しません", "確認", PromptIcon::Information));
}

TEST(PanelPorts, NoPortAtAllRefusesToConnect)
{
    PanelRig rig(1, 1, false);
    rig.ports.clear();
    rig.view->InitialisePanel();
    EXPECT_TRUE(rig.LastMessageIs("指定接続ポートが存在しません", "確認", PromptIcon::Information));
    rig.view->ConnectUnit();
    EXPECT_TRUE(rig.LastMessageIs("選択されていません。", "確認", PromptIcon::Information));
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_EQ(rig.channel->Opens(), 0);
}

TEST(PanelConnect, IdentifiesTheUnitAndStartsPolling)
{
    PanelRig rig(2, 2);
    ASSERT_TRUE(rig.unit.SetVersion("02.15B"));
    rig.doc->m_strLastPort.clear();
    rig.Control<QComboBox>(kPortListId)->setCurrentIndex(1);
    rig.Connect();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.link->PortName(), "ttyUSB1");
    EXPECT_EQ(rig.doc->m_strLastPort, "ttyUSB1");
    EXPECT_EQ(rig.Model().versionText, "02015B");
    EXPECT_EQ(rig.Control<CColorButton>(kConnectButtonId)->FaceColor(), kOnFace);
    EXPECT_TRUE(rig.view->Poller().m_bPolling);
    // Identification, then the settings of the channels in use.
    const auto& writes = rig.channel->Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].bytes, "VER\r\n");
    EXPECT_EQ(writes[1].bytes, "CH\r\n");
    EXPECT_EQ(writes[2].bytes.substr(0, 3), SettingsPrefix(0));
    EXPECT_EQ(writes[3].bytes.substr(0, 3), SettingsPrefix(1));

    // One request per tick, channels in turn; each reply resets the count.
    const std::size_t before = rig.WriteCount();
    rig.Tick(6);
    const auto requests = rig.Writes(before, "\x02R");
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0], "\x02R1\r\n");
    EXPECT_EQ(requests[1], "\x02R2\r\n");
    EXPECT_EQ(requests[2], "\x02R1\r\n");
    EXPECT_EQ(rig.view->Poller().m_nNoReplyCount, 1);
}

TEST(PanelConnect, StatusRepliesShowAlarmsAndAdjustmentMarks)
{
    PanelRig rig(2, 2);
    rig.Connect();
    rig.unit.Channel(1).statusWord = 0x0005; // bits 0 and 2: the lowest wins
    rig.unit.Channel(0).user[0].adjustSelect = 2;
    rig.Tick(10);
    auto* alarm = rig.Control<QLabel>(ChannelBase(1) + kAlarmLabelOffset);
    EXPECT_TRUE(alarm->isVisibleTo(rig.view.get()));
    EXPECT_EQ(alarm->text(), QStringLiteral("出力部高温"));
    EXPECT_FALSE(rig.view->Control(ChannelBase(0) + kAlarmLabelOffset)->isVisibleTo(rig.view.get()));
    EXPECT_EQ(rig.Control<QLabel>(ChannelBase(0) + kAdjustMarkOffset)->text(), QStringLiteral(" U "));

    // The alarm clears with the next replies.
    rig.unit.Channel(1).statusWord = 0x0020; // bit 5 is never shown
    rig.Tick(10);
    EXPECT_FALSE(alarm->isVisibleTo(rig.view.get()));
}

TEST(PanelConnect, ExternalSupplyRangeShowsItsOwnAlarmWord)
{
    PanelRig rig(1, 1);
    rig.Model().SetRange(0, 11);
    rig.Connect();
    rig.unit.Channel(0).extStatusWord = 0x0002;
    rig.Tick(10);
    EXPECT_EQ(rig.Control<QLabel>(ChannelBase(0) + kAlarmLabelOffset)->text(), QStringLiteral("出力異常"));
}

TEST(PanelConnect, SilentUnitIsGivenUpAfterOneHundredPolls)
{
    PanelRig rig(2, 2);
    rig.Connect();
    rig.view->ToggleOutput(0);
    ASSERT_TRUE(rig.Model().IsOutputOn(0));
    rig.Tick(5); // answered
    rig.unit.Faults().silent = true;
    rig.Tick(1); // the reply to the last answered request is still taken
    rig.Tick(98);
    EXPECT_TRUE(rig.view->IsConnected());
    EXPECT_TRUE(rig.prompter.shown.empty());

    const std::size_t before = rig.WriteCount();
    rig.Tick(1);
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_TRUE(rig.LastMessageIs("接続が解除されました。", "警告", PromptIcon::Exclamation));
    // Every output was written off before the port closed.
    const auto offs = rig.Writes(before, "\x02W");
    ASSERT_EQ(offs.size(), 4u);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(offs[static_cast<std::size_t>(c)].substr(0, 3), SettingsPrefix(c));
        EXPECT_EQ(FrameControlWord(offs[static_cast<std::size_t>(c)]) & 0x1000u, 0u);
    }
    EXPECT_FALSE(rig.Model().IsOutputOn(0));
    EXPECT_FALSE(rig.view->Poller().m_bPolling);
    EXPECT_EQ(rig.Control<CColorButton>(kConnectButtonId)->FaceColor(), kNeutralFace);

    // Disconnected ticks neither poll nor reconnect.
    const std::size_t after = rig.WriteCount();
    rig.Tick(10);
    EXPECT_EQ(rig.WriteCount(), after);
    EXPECT_FALSE(rig.view->IsConnected());
}

TEST(PanelConnect, UnitWithMoreChannelsSwitchesTheDocumentAndTheLayout)
{
    PanelRig rig(1, 2);
    rig.Channel(0).rangeCode = 3;
    rig.Connect();
    EXPECT_TRUE(rig.LastMessageIs("表示回路数を切替ます。", "警告", PromptIcon::Exclamation));
    EXPECT_EQ(rig.Model().channelCount, 2);
    EXPECT_EQ(rig.Channel(0).rangeCode, 3); // kept: it names a range
    EXPECT_EQ(rig.view->FrameWidth(), 432);
    EXPECT_TRUE(rig.view->Control(ChannelBase(1) + kOnOffOffset)->isVisibleTo(rig.view.get()));
    EXPECT_EQ(rig.view->Control(ChannelBase(0) + kOnOffOffset)->geometry().left(), 115);
    // The new defaults went out as the document reset them; polling starts
    // with both channels' settings.
    const auto& writes = rig.channel->Writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[writes.size() - 2].bytes.substr(0, 3), SettingsPrefix(0));
    EXPECT_EQ(writes[writes.size() - 1].bytes.substr(0, 3), SettingsPrefix(1));
}

TEST(PanelConnect, FourChannelUnitWidensTheFrameToReachEveryColumn)
{
    PanelRig rig(2, 4);
    std::vector<int> widths;
    QObject::connect(rig.view.get(), &CVelmoraView::FrameWidthChanged, [&](int w) { widths.push_back(w); });
    rig.Connect();
    EXPECT_EQ(widths, std::vector<int>{842});
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(rig.view->Control(ChannelBase(c) + kOnOffOffset)->isVisibleTo(rig.view.get())) << c;
    rig.Tick(4);
    const auto requests = rig.Writes(0, "\x02R");
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3], "\x02R4\r\n");
}

TEST(PanelConnect, UnitThatDoesNotAnswerCannotBeConnected)
{
    PanelRig rig(1, 1);
    rig.unit.Faults().silent = true;
    rig.view->ConnectUnit();
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_TRUE(rig.LastMessageIs("接続できません。", "警告", PromptIcon::Exclamation));
    EXPECT_TRUE(rig.doc->m_strLastPort == "ttyUSB0");
    EXPECT_EQ(rig.Control<CColorButton>(kConnectButtonId)->FaceColor(), kNeutralFace);
}

TEST(PanelConnect, PortThatCannotBeOpenedEndsQuietly)
{
    PanelRig rig(1, 1);
    rig.channel->SetOpenable(false);
    rig.view->ConnectUnit();
    EXPECT_FALSE(rig.view->IsConnected());
    // The channel itself tells the operator; the panel adds nothing.
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// Swallows the request to quit after the panel has seen it, so that the
// test's application goes on.
class QuitSwallower : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Quit; }
};

TEST(PanelConnect, QuitWhileConnectingStopsTheSequence)
{
    PanelRig rig(1, 1);
    QuitSwallower swallower;
    qApp->installEventFilter(&swallower);
    QMetaObject::invokeMethod(
        qApp,
        [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        },
        Qt::QueuedConnection);
    rig.view->ConnectUnit();
    qApp->removeEventFilter(&swallower);
    // The port was opened, but the unit was not asked anything.
    EXPECT_EQ(rig.channel->Opens(), 1);
    EXPECT_EQ(rig.WriteCount(), 0u);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_FALSE(rig.view->Poller().m_bPolling);
}

TEST(PanelConnect, PanelGoingWhileConnectingStopsTheSequence)
{
    PanelRig rig(1, 1);
    QMetaObject::invokeMethod(
        qApp, [&rig] { rig.view.reset(); }, Qt::QueuedConnection);
    CVelmoraView* view = rig.view.get();
    view->ConnectUnit(); // returns through the panel's own frame without touching it
    EXPECT_EQ(rig.view, nullptr);
    EXPECT_FALSE(rig.link->IsConnected());
    EXPECT_EQ(rig.Writes(0, "VER").size(), 0u);
}

TEST(PanelConnect, ClickDuringTheSequenceIsIgnored)
{
    PanelRig rig(1, 1);
    auto* button = rig.Control<QPushButton>(kConnectButtonId);
    QMetaObject::invokeMethod(
        button, [button] { button->click(); }, Qt::QueuedConnection);
    rig.view->ConnectUnit();
    EXPECT_TRUE(rig.view->IsConnected());
    EXPECT_EQ(rig.Writes(0, "VER").size(), 1u);
    EXPECT_EQ(rig.channel->Opens(), 1);
}

TEST(PanelConnect, ConnectButtonTogglesTheConnection)
{
    PanelRig rig(1, 1);
    auto* button = rig.Control<QPushButton>(kConnectButtonId);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(rig.view->IsConnected());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_EQ(rig.Control<CColorButton>(kConnectButtonId)->FaceColor(), kNeutralFace);
}

TEST(PanelConnect, NewDocumentDisconnectsWithOutputsOff)
{
    PanelRig rig(1, 1);
    rig.Connect();
    rig.view->ToggleOutput(0);
    const std::size_t before = rig.WriteCount();
    rig.view->InitialisePanel();
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_EQ(rig.Writes(before, "\x02W").size(), 4u);
    EXPECT_EQ(rig.unit.Channel(0).words.controlWord & 0x1000u, 0u);
}

TEST(PanelClose, ClosingWhileConnectedWritesEveryChannelOff)
{
    PanelRig rig(2, 2);
    rig.Connect();
    rig.view->ToggleOutput(0);
    rig.view->ToggleOutput(1);
    rig.TickUntilSent();
    ASSERT_NE(rig.unit.Channel(1).words.controlWord & 0x1000u, 0u);
    const std::size_t before = rig.WriteCount();
    rig.view.reset();
    EXPECT_FALSE(rig.link->IsConnected());
    // Writes to a closed channel are not recorded: these went out first.
    const auto offs = rig.Writes(before, "\x02W");
    ASSERT_EQ(offs.size(), 4u);
    for (const std::string& frame : offs)
        EXPECT_EQ(FrameControlWord(frame) & 0x1000u, 0u);
    EXPECT_EQ(rig.unit.Channel(0).words.controlWord & 0x1000u, 0u);
    EXPECT_EQ(rig.unit.Channel(1).words.controlWord & 0x1000u, 0u);
    EXPECT_EQ(rig.Model().Link(), nullptr);
}

TEST(PanelClose, ShutdownForCloseLeavesNothingToDoAfterwards)
{
    PanelRig rig(1, 1);
    rig.Connect();
    rig.view->ShutdownForClose();
    EXPECT_FALSE(rig.view->IsConnected());
    EXPECT_FALSE(rig.view->Poller().m_bPolling);
    EXPECT_EQ(rig.Control<CColorButton>(kConnectButtonId)->FaceColor(), kNeutralFace);
    const std::size_t before = rig.WriteCount();
    rig.view.reset();
    EXPECT_EQ(rig.WriteCount(), before);
}

TEST(PanelTickWork, NothingHappensBeforeInitialisationOrWhileHandedOver)
{
    PanelRig rig(1, 1, false);
    rig.Tick(10);
    EXPECT_EQ(rig.WriteCount(), 0u);

    rig.view->InitialisePanel();
    rig.Connect();
    rig.view->SetTimerWork(false);
    const std::size_t before = rig.WriteCount();
    rig.Tick(10);
    EXPECT_EQ(rig.WriteCount(), before);
    rig.view->SetTimerWork(true);
    rig.Tick(1);
    EXPECT_EQ(rig.Writes(before, "\x02R").size(), 1u);
}

TEST(PanelTickWork, AnnouncementResendsEveryChannelInUse)
{
    PanelRig rig(2, 2);
    rig.Connect();
    rig.view->Poller().m_bPolling = false; // only the announcement on the line
    const std::size_t before = rig.WriteCount();
    rig.unit.Announce(rig.clock.Now());
    rig.Tick(1);
    const auto frames = rig.Writes(before, "\x02W");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].substr(0, 3), SettingsPrefix(0));
    EXPECT_EQ(frames[1].substr(0, 3), SettingsPrefix(1));
}

} // namespace
} // namespace velmora::test
