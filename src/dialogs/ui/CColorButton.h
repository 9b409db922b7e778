#pragma once
// A push button whose face colour can be set. Without a face colour it looks
// like any push button; with one it draws a flat raised face in that colour,
// sunken while pressed, with its caption centred and wrapped onto more lines
// when it does not fit.

#include <QColor>
#include <QPushButton>

#include <optional>

namespace velmora {

class CColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit CColorButton(const QString& text, QWidget* parent = nullptr);

    // Repaints at once, as the range choice shows its highlight before the
    // dialog takes any input.
    void SetFaceColor(std::optional<QColor> color);
    std::optional<QColor> FaceColor() const { return m_faceColor; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QColor> m_faceColor;
};

} // namespace velmora
