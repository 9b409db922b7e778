#pragma once
// Runs a dialog modally in a widget test: the actions run once its event
// loop is up, and a guard ends a dialog the actions failed to close, so that a
// broken test fails instead of hanging.

#include <QDialog>
#include <QGroupBox>
#include <QImage>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace velmora::test {

inline constexpr int kDialogLeftOpen = 1234;

inline int ExecDialog(QDialog& dialog, const std::function<void()>& whileOpen)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] {
        ADD_FAILURE() << "the dialog was left open";
        dialog.done(kDialogLeftOpen);
    });
    guard.start(10000);
    QTimer::singleShot(0, &dialog, whileOpen);
    return dialog.exec();
}

// Nothing a group box draws (its frame lines, its title) lies under a control
// of the dialog: every control within a group's outline stands clear inside
// its frame, as the present style really draws it. Answers how many groups
// were checked.
inline int ExpectControlsInsideTheirGroups(QWidget& dialog)
{
    const auto groups = dialog.findChildren<QGroupBox*>();
    for (QGroupBox* group : groups) {
        // The group alone: the controls are the dialog's children, not its.
        const QImage drawn = group->grab().toImage();
        const QColor blank = drawn.pixelColor(drawn.width() / 2, drawn.height() - drawn.height() / 4);
        for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w == group || qobject_cast<QGroupBox*>(w) || !w->isVisible() ||
                !group->geometry().intersects(w->geometry()))
                continue;
            // One pixel of air around the control as well.
            const QRect under = w->geometry().adjusted(-1, -1, 1, 1).translated(-group->pos()) & drawn.rect();
            int marked = 0;
            for (int y = under.top(); y <= under.bottom(); ++y)
                for (int x = under.left(); x <= under.right(); ++x)
                    marked += drawn.pixelColor(x, y) != blank;
            EXPECT_EQ(marked, 0) << w->objectName().toStdString() << " stands on the drawing of "
                                 << group->title().toStdString();
        }
    }
    return static_cast<int>(groups.size());
}

} // namespace velmora::test
