#pragma once
// A main panel wired to the in-process simulated unit on a fake clock, with
// a scripted prompter and no tick thread: tests drive the ticks themselves,
// each one 50 ms later on the clock than the last.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ScriptedPrompter.h"
#include "SimChannel.h"
#include "SimUnit.h"
#include "dialogs/ui/CColorButton.h"
#include "panel/CVelmoraView.h"
#include "panel/PanelTick.h"
#include "panel/PanelWidgets.h"
#include "panelcore/PanelLayout.h"
#include "protocol/GeneratorLink.h"

#include "model/CVelmoraDoc.h"

namespace velmora::test {

inline std::vector<PortEntry> TwoPorts()
{
    return {{"FT230X Basic UART", "ttyUSB0", 0}, {"USB Serial", "ttyUSB1", 1}};
}

struct PanelRig {
    explicit PanelRig(int docChannels = 1, int unitChannels = 1, bool initialise = true)
    {
        unit.SetChannelCount(unitChannels);
        auto serial = std::make_unique<sim::SimChannel>(unit, clock);
        channel = serial.get();
        link = std::make_unique<GeneratorLink>(clock, prompter, std::move(serial), nullptr);
        doc = std::make_unique<CVelmoraDoc>(prompter, CVelmoraDoc::NoStateFile{});
        doc->SetChannelCount(docChannels);
        doc->m_strLastPort = "ttyUSB0";
        view = std::make_unique<CVelmoraView>(*doc, *link, prompter, std::make_unique<ManualTickSource>());
        view->SetPortLister([this](const std::vector<std::string>&) { return ports; });
        QObject::connect(view.get(), &CVelmoraView::FrameWidthChanged, view.get(),
                         [this](int width) { view->resize(width, kPanelHeight); });
        if (initialise) {
            view->InitialisePanel();
            view->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        }
    }

    GeneratorModel& Model() { return doc->m_model; }
    ChannelSettings& Channel(int c) { return doc->m_model.channels[static_cast<std::size_t>(c)]; }

    // One periodic tick, 50 ms after the last.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            clock.AdvanceMs(50);
            view->OnPanelTick(PanelTickEvent::kTimerParam);
        }
    }

    // Ticks until the frames the link holds now have left: a change reaches
    // the unit only as fast as the line carries it.
    void TickUntilSent()
    {
        const Nanos sent = link->Wire().DrainTime();
        do {
            Tick();
        } while (clock.Now() < sent);
    }

    void Connect()
    {
        view->ConnectUnit();
        ASSERT_TRUE(view->IsConnected());
    }

    template <typename T = QWidget> T* Control(int id, int index = 0)
    {
        auto* widget = qobject_cast<T*>(view->Control(id, index));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    CValueField* Field(int c) { return Control<CValueField>(ChannelBase(c) + kValueFieldOffset); }

    // The host's writes from `from` on that begin with `prefix`.
    std::vector<std::string> Writes(std::size_t from, const std::string& prefix) const
    {
        std::vector<std::string> out;
        const auto& all = channel->Writes();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i].bytes.rfind(prefix, 0) == 0)
                out.push_back(all[i].bytes);
        return out;
    }
    std::size_t WriteCount() const { return channel->Writes().size(); }

    // Whether the last message shown was `text` with `caption`.
    bool LastMessageIs(const std::string& text, const std::string& caption, PromptIcon icon) const
    {
        return !prompter.shown.empty() && prompter.shown.back().text == text &&
            prompter.shown.back().caption == caption && prompter.shown.back().icon == icon;
    }

    std::vector<PortEntry> ports = TwoPorts();
    FakeClock clock;
    ScriptedPrompter prompter;
    sim::SimUnit unit;
    sim::SimChannel* channel = nullptr; // owned by the link
    std::unique_ptr<GeneratorLink> link;
    std::unique_ptr<CVelmoraDoc> doc;
    std::unique_ptr<CVelmoraView> view;
};

// The left mouse button as the window system delivers it: through the
// widget's window, so that QGuiApplication knows the button is down and a
// modal window keeps the event from a blocked one.
struct SystemMouse {
    static QWindow* WindowOf(QWidget* w) { return w->window()->windowHandle(); }
    static QPoint At(QWidget* w, QPoint pos) { return WindowOf(w)->mapFromGlobal(w->mapToGlobal(pos)); }
    static void Press(QWidget* w) { QTest::mousePress(WindowOf(w), Qt::LeftButton, {}, At(w, w->rect().center())); }
    static void Release(QWidget* w, QPoint pos) { QTest::mouseRelease(WindowOf(w), Qt::LeftButton, {}, At(w, pos)); }
    static void Release(QWidget* w) { Release(w, w->rect().center()); }
    static void Move(QWidget* w, QPoint pos) { QTest::mouseMove(WindowOf(w), At(w, pos)); }
};

// The settings frame of channel index c: STX "W" and the channel digit.
inline std::string SettingsPrefix(int c)
{
    return std::string("\x02W") + static_cast<char>('1' + c);
}

// The control word a settings frame carries (after the range code and the
// output code).
inline unsigned FrameControlWord(const std::string& frame)
{
    return static_cast<unsigned>(std::stoul(frame.substr(9, 4), nullptr, 16));
}

} // namespace velmora::test
