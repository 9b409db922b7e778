#pragma once
// The wave picture of the automatic-output settings dialog. Given a setting
// OK would take it draws the steps to scale, the value axis spanning the
// channel's limits (dotted lines); otherwise a plain drawing of the shape.

#include <QFrame>

#include "autoout/WavePreview.h"

namespace velmora {

class CWavePicture final : public QFrame {
public:
    explicit CWavePicture(QWidget* parent);

    void SetPreview(WavePreview preview);
    const WavePreview& Preview() const { return m_preview; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawToScale(class QPainter& p, const QRectF& area) const;
    void DrawPlain(class QPainter& p, const QRectF& area) const;

    WavePreview m_preview;
};

} // namespace velmora
