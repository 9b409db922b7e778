#pragma once
// A group box that only frames: an etched outline whose top line runs through
// the middle of the title, the title standing in a gap of the line. The
// dialogs place their controls in dialog units as the classic dialog
// templates do, which leaves room for the line at the title's middle only;
// a style that draws the frame below the title would run it through the
// first row of controls.
//
// Thread contract: UI thread only.

#include <QGroupBox>

namespace velmora {

class CGroupFrame : public QGroupBox {
    Q_OBJECT
public:
    CGroupFrame(const QString& title, QWidget* parent);

    // The area inside the outline, in the group's own coordinates.
    QRect InnerFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The outline's rectangle: its top edge is the line through the title.
    QRect Outline() const;
    QRect TitleRect() const;
};

} // namespace velmora
