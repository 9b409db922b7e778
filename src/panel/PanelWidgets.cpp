#include "panel/PanelWidgets.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

#include "panelcore/PanelLayout.h"

namespace velmora {

namespace {

QFont PanelFace(int pixelSize)
{
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    // Should the face be missing, a fixed-pitch one keeps the columns.
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

const QColor kImageGrey{0x80, 0x80, 0x80};

} // namespace

QFont PanelSmallFont()
{
    return PanelFace(12);
}

QFont PanelValueFont()
{
    return PanelValueFont(QStringLiteral("IPAGothic"));
}

QFont PanelValueFont(const QString& family)
{
    QFont font = PanelFace(48);
    font.setFamily(family);
    // Hinting rounds advances to whole device pixels, which differ from one
    // scale factor to the next; without it an advance is the same number of
    // device-independent pixels on every screen.
    font.setHintingPreference(QFont::PreferNoHinting);
    // A face whose half-width characters are not one column wide is
    // narrowed or widened to it, so that each character stays centred in its
    // column; letter spacing only takes up what the whole-percent stretch
    // leaves over.
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    if (advance <= 0 || advance == kDigitPitch)
        return font;
    const int stretch = qRound(100.0 * kDigitPitch / advance);
    if (stretch != 100) {
        font.setStretch(std::clamp(stretch, 1, 4000));
    }
    const qreal stretched = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    if (stretched > 0 && stretched != kDigitPitch)
        font.setLetterSpacing(QFont::AbsoluteSpacing, kDigitPitch - stretched);
    return font;
}

QPixmap MakePanelImage(PanelImage image)
{
    const bool lamp = image == PanelImage::LampLit || image == PanelImage::LampUnlit;
    QPixmap pixmap(lamp ? QSize(6, 12) : QSize(14, 14));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    switch (image) {
    case PanelImage::StartUnavailable:
    case PanelImage::StartAvailable:
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(image == PanelImage::StartAvailable ? QColor(0x00, 0xA0, 0x00) : kImageGrey);
        p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(12, 7), QPoint(3, 13)}));
        break;
    case PanelImage::PauseUnavailable:
    case PanelImage::PauseAvailable:
        p.setBrush(image == PanelImage::PauseAvailable ? QColor(0x00, 0x00, 0xC0) : kImageGrey);
        p.drawRect(3, 2, 3, 10);
        p.drawRect(8, 2, 3, 10);
        break;
    case PanelImage::StopUnavailable:
    case PanelImage::StopAvailable:
        p.setBrush(image == PanelImage::StopAvailable ? QColor(0x90, 0x00, 0x00) : kImageGrey);
        p.drawRect(3, 3, 8, 8);
        break;
    case PanelImage::LampLit:
        p.fillRect(0, 0, 6, 6, kImageGrey);
        p.fillRect(0, 6, 6, 6, QColor(0x00, 0xD0, 0x00));
        break;
    case PanelImage::LampUnlit:
        p.fillRect(0, 0, 6, 12, kImageGrey);
        break;
    }
    return pixmap;
}

CStepButton::CStepButton(const QString& text, int id, QWidget* parent) : QPushButton(text, parent), m_nId(id)
{
    setObjectName(QStringLiteral("ctl_%1").arg(id));
}

void CStepButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bMouseHeld = true;
        m_bCursorInside = rect().contains(event->position().toPoint());
    }
    QPushButton::mousePressEvent(event);
}

void CStepButton::mouseMoveEvent(QMouseEvent* event)
{
    // While the left button is down the pressed button sees every move.
    if (m_bMouseHeld)
        m_bCursorInside = rect().contains(event->position().toPoint());
    QPushButton::mouseMoveEvent(event);
}

void CStepButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bMouseHeld = false;
        m_bCursorInside = rect().contains(event->position().toPoint());
    }
    QPushButton::mouseReleaseEvent(event);
}

void CStepButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        m_bKeyHeld = true;
    QPushButton::keyPressEvent(event);
}

void CStepButton::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        m_bKeyHeld = false;
    QPushButton::keyReleaseEvent(event);
}

void CStepButton::ForgetPress()
{
    m_bMouseHeld = false;
    m_bKeyHeld = false;
    if (isDown())
        setDown(false);
}

bool CStepButton::event(QEvent* event)
{
    switch (event->type()) {
    // A modal window opened over the panel, or the panel's window lost the
    // activation: the release goes elsewhere.
    case QEvent::WindowBlocked:
    case QEvent::WindowDeactivate:
    case QEvent::UngrabMouse:
        ForgetPress();
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

void CStepButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        ForgetPress();
    QPushButton::changeEvent(event);
}

void CStepButton::focusOutEvent(QFocusEvent* event)
{
    // Whatever took the focus (the keyboard, another window, a box) also
    // took the press, of the mouse as of the space bar.
    ForgetPress();
    QPushButton::focusOutEvent(event);
}

void CStepButton::hideEvent(QHideEvent* event)
{
    ForgetPress();
    QPushButton::hideEvent(event);
}

namespace {

// Room between the lamp and the caption: a caption without a leading blank
// ("-10.000") would otherwise touch the lamp and read as one run with it.
constexpr int kLampGap = 3;
// The lamp's distance from the face's left edge.
constexpr int kLampIndent = 1;

} // namespace

CPresetButton::CPresetButton(const QPixmap& lit, const QPixmap& unlit, QWidget* parent)
    : QPushButton(parent),
      m_lit(lit),
      m_unlit(unlit)
{
}

void CPresetButton::paintEvent(QPaintEvent*)
{
    // The style's face without its label; the lamp and the caption are
    // placed here, so that the widest caption keeps its gap and is never
    // cut at the right.
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButton, option);
    const QRect content = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const QPixmap& lamp = m_bLit ? m_lit : m_unlit;
    const int lampLeft = content.left() + kLampIndent;
    p.drawPixmap(lampLeft, content.top() + (content.height() - lamp.height()) / 2, lamp);
    const QRect captionArea(lampLeft + lamp.width() + kLampGap, content.top(),
                            content.right() + 1 - (lampLeft + lamp.width() + kLampGap), content.height());
    const int captionWidth = fontMetrics().horizontalAdvance(text());
    const Qt::Alignment align =
        captionWidth <= captionArea.width() ? Qt::AlignHCenter : Qt::AlignLeft; // the start stays in view
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(captionArea, static_cast<int>(align | Qt::AlignVCenter), text());
}

void CPresetButton::SetLamp(bool lit)
{
    if (lit == m_bLit)
        return;
    m_bLit = lit;
    update();
}

CBoxedLabel::CBoxedLabel(const QString& text, QColor box, QColor ink, QWidget* parent)
    : QLabel(text, parent),
      m_box(box),
      m_ink(ink)
{
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void CBoxedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kPanelBackground);
    if (text().isEmpty())
        return;
    const QRect box = fontMetrics().boundingRect(rect(), Qt::AlignHCenter | Qt::AlignTop, text());
    p.fillRect(box, m_box);
    p.setPen(m_ink);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignHCenter | Qt::AlignTop, text());
}

CValueField::CValueField(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    SetCommitted(true);
    ApplyInset();
}

std::string CValueField::Text() const
{
    return toPlainText().toUtf8().toStdString();
}

void CValueField::SetTextQuietly(const std::string& text)
{
    const QSignalBlocker quiet(this);
    setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    horizontalScrollBar()->setValue(0);
}

void CValueField::SetCommitted(bool committed)
{
    m_bCommitted = committed;
    QPalette pal = palette();
    const QColor colour = committed ? kValueCommitted : kValueTyping;
    if (pal.color(QPalette::Base) == colour)
        return;
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
}

void CValueField::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        ApplyInset();
}

void CValueField::ApplyInset()
{
    document()->setDocumentMargin(std::max(0, kTextInset - frameWidth()));
}

} // namespace velmora
