#include "panel/PanelTick.h"

#include <QCoreApplication>

namespace velmora {

QEvent::Type PanelTickEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool ThreadTickSource::Start(QObject* target)
{
    return m_ticker.Start([target] {
        auto* event = new PanelTickEvent(PanelTickEvent::kTimerParam);
        MarkHandedOver(event);
        QCoreApplication::postEvent(target, event);
    });
}

} // namespace velmora
