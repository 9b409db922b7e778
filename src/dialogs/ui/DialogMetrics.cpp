#include "dialogs/ui/DialogMetrics.h"

#include <QDialog>
#include <QLabel>

namespace velmora {

namespace {

int DluToPixels(int dlu)
{
    return (dlu * 3 + 1) / 2;
}

} // namespace

QFont DialogFont()
{
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QRect DluRect(int x, int y, int width, int height)
{
    return QRect(DluToPixels(x), DluToPixels(y), DluToPixels(width), DluToPixels(height));
}

void PrepareDialog(QDialog& dialog, const QString& caption, int widthDlu, int heightDlu)
{
    dialog.setWindowTitle(caption);
    dialog.setFont(DialogFont());
    dialog.setFixedSize(DluToPixels(widthDlu), DluToPixels(heightDlu));
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog.setModal(true);
}

QLabel* AddLabel(QWidget& parent, const QString& text, const QRect& rect, Qt::Alignment alignment, int id)
{
    auto* label = new QLabel(text, &parent);
    label->setGeometry(rect);
    label->setAlignment(alignment);
    if (id >= 0)
        label->setObjectName(ControlName("static", id));
    return label;
}

QString ControlName(const char* kind, int id)
{
    return QString::fromLatin1(kind) + QString::number(id);
}

} // namespace velmora
