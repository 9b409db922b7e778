// A connected panel with nothing changing must settle: its periodic refresh
// may not keep repainting widgets, or the window costs a core while idle.
#include <QPaintEvent>

#include "test_panel_support.h"

using namespace velmora;
using namespace velmora::test;

namespace {

class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

} // namespace

TEST(PanelIdle, RefreshesOfAnUnchangedPanelPaintNothing)
{
    PanelRig rig(2, 2);
    rig.Connect();
    rig.Tick(20); // replies applied, a few refreshes done
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();

    PaintCounter counter;
    qApp->installEventFilter(&counter);
    for (int round = 0; round < 10; ++round) {
        rig.Tick(5); // one refresh
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
    }
    qApp->removeEventFilter(&counter);
    EXPECT_EQ(counter.paints, 0);

    // A real change still reaches the screen.
    qApp->installEventFilter(&counter);
    rig.Channel(0).setValue = 1.0;
    rig.Tick(5);
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    qApp->removeEventFilter(&counter);
    EXPECT_GT(counter.paints, 0);
}
