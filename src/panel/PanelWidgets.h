#pragma once
// The panel's own kinds of control: the step button that knows whether it is
// being held, the preset button with its lamp, the labels whose text sits on
// a coloured box, the value field in the large fixed-pitch face, the radio
// button that only the program checks; and the fonts, colours and images
// they use.
//
// Thread contract: UI thread only.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

#include <string>

namespace velmora {

// Colours of the panel.
inline const QColor kPanelBackground{0xD0, 0xD0, 0xD0};
inline const QColor kOnFace{0x80, 0xFF, 0x80};
inline const QColor kNeutralFace{0xF0, 0xF0, 0xF0};
inline const QColor kValueCommitted{0xE0, 0xFF, 0xFF}; // pale turquoise
inline const QColor kValueTyping{0xFF, 0xFF, 0x00};    // yellow
inline const QColor kMarkBox{0x00, 0xFF, 0x00};
inline const QColor kAlarmBox{0xFF, 0x00, 0x00};

// The Gothic face installed with the program, at 12 pixels: every control.
QFont PanelSmallFont();
// The same face at 48 pixels for the value fields, in which every half-width
// character is exactly one step-button column (24 device-independent pixels)
// wide at every scale factor; a face of another width that is really found
// is stretched to it.
QFont PanelValueFont();
QFont PanelValueFont(const QString& family);

enum class PanelImage {
    StartUnavailable, // grey play triangle
    StartAvailable,   // green play triangle
    PauseUnavailable, // grey pause bars
    PauseAvailable,   // blue pause bars
    StopUnavailable,  // grey stop block
    StopAvailable,    // dark red stop block
    LampLit,          // 6 x 12: grey upper half, green lower half
    LampUnlit,        // 6 x 12: all grey
};
QPixmap MakePanelImage(PanelImage image);

// A digit or sign step button. It remembers whether the mouse or the space
// bar holds it down and whether the cursor is over it, which is what the
// panel's hold scan needs; a plain button forgets it is pressed when the
// cursor leaves it.
//
// A press can end without its release ever reaching the button: a modal box
// opens under the held mouse, another window takes the focus, the button is
// hidden or disabled. Each of those forgets the press here, and the panel's
// scan forgets it too when the real mouse button is up, so that a held
// button can never go on stepping by itself.
class CStepButton : public QPushButton {
    Q_OBJECT
public:
    CStepButton(const QString& text, int id, QWidget* parent);

    int Id() const { return m_nId; }
    bool MouseHeld() const { return m_bMouseHeld; }
    bool KeyHeld() const { return m_bKeyHeld; }
    bool CursorInside() const { return m_bCursorInside; }
    // Ends a press whose release will not come: the button is idle and
    // drawn up, and a late release on it is no click.
    void ForgetPress();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_nId;
    bool m_bMouseHeld = false;
    bool m_bKeyHeld = false;
    bool m_bCursorInside = false;
};

// A preset button: the preset's value with a lamp that is lit while the
// preset is the channel's set value.
class CPresetButton : public QPushButton {
    Q_OBJECT
public:
    CPresetButton(const QPixmap& lit, const QPixmap& unlit, QWidget* parent);
    void SetLamp(bool lit);
    bool LampLit() const { return m_bLit; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_lit;
    QPixmap m_unlit;
    bool m_bLit = false;
};

// A static text whose characters stand on a coloured box, the rest of the
// label in the panel's colour: the adjustment mark (green) and the alarm
// label (red with white letters).
class CBoxedLabel : public QLabel {
    Q_OBJECT
public:
    CBoxedLabel(const QString& text, QColor box, QColor ink, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_box;
    QColor m_ink;
};

// A radio button that clicking does not check: the panel sets both radios
// of a channel from the channel's state.
class CPlainRadio : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override { }
};

// The set value in large digits. Enter shows in the text as a line break,
// which is how the panel tells typing from committing.
class CValueField : public QTextEdit {
    Q_OBJECT
public:
    // The first character starts this many pixels inside the field's left
    // edge (border and margin together), which puts the characters under
    // the step buttons.
    static constexpr int kTextInset = 4;

    explicit CValueField(QWidget* parent);

    std::string Text() const;
    // Sets the text without a change notification.
    void SetTextQuietly(const std::string& text);
    // Pale turquoise when committed, yellow while the operator types.
    void SetCommitted(bool committed);
    bool IsCommitted() const { return m_bCommitted; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void ApplyInset();

    bool m_bCommitted = true;
};

} // namespace velmora
