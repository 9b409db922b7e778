#pragma once
// Shared geometry and font of the configuration dialogs. Their layouts are
// given in dialog units of the 8-point dialog font, whose base unit is 6 by 12
// pixels on a 96-dpi screen: one dialog unit is 1.5 pixels in both directions.

#include <QFont>
#include <QRect>
#include <QString>

class QDialog;
class QLabel;
class QWidget;

namespace velmora {

// The dialogs' Japanese face: 12 pixels, the size of the 8-point dialog
// font; IPAGothic is the Gothic face installed with the program.
QFont DialogFont();

// A rectangle given in dialog units, in pixels.
QRect DluRect(int x, int y, int width, int height);

// Fixed client size in dialog units, caption, font; no context-help button.
void PrepareDialog(QDialog& dialog, const QString& caption, int widthDlu, int heightDlu);

// A static text at a dialog-unit rectangle; `id` becomes its object name
// ("static1016") so that callers and tests find it by its control id.
QLabel* AddLabel(QWidget& parent, const QString& text, const QRect& rect,
                 Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter, int id = -1);

QString ControlName(const char* kind, int id);

} // namespace velmora
