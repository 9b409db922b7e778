#pragma once
// The panel's 50 ms tick as window events. The ticker's thread (PanelTicker)
// does nothing but post one tick event to the panel per period; everything
// the tick does runs on the UI thread when the event is dispatched. Posted ticks are never merged: ticks
// that pile up while the UI thread is busy (a synchronous exchange, a message
// box) are all handled afterwards, each doing the full work.
//
// Thread contract: Start and Stop are called on the UI thread. The source's
// own thread touches nothing but QCoreApplication::postEvent, and Stop
// returns only after that thread has posted its last event, so the target
// may be destroyed right after Stop.

#include <QEvent>

#include "panelcore/PanelTicker.h"

class QObject;

namespace velmora {

// The tick event; `Param()` is 10 for the ticks of the periodic source.
// The tick event is made on the tick thread and read on the UI thread; the
// posted-event queue between them is Qt's, which ThreadSanitizer does not
// see into. These mark the hand-over for it (and are nothing otherwise).
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void MarkHandedOver(const void* p)
{
    __tsan_release(const_cast<void*>(p));
}
inline void MarkTakenOver(const void* p)
{
    __tsan_acquire(const_cast<void*>(p));
}
#else
inline void MarkHandedOver(const void*)
{
}
inline void MarkTakenOver(const void*)
{
}
#endif

class PanelTickEvent : public QEvent {
public:
    static constexpr int kTimerParam = 10;

    explicit PanelTickEvent(int param = kTimerParam) : QEvent(EventType()), m_nParam(param) { }
    int Param() const { return m_nParam; }
    static QEvent::Type EventType();

private:
    int m_nParam;
};

class PanelTickSource {
public:
    virtual ~PanelTickSource() = default;
    // Starts posting ticks to `target`. False when the source cannot run.
    virtual bool Start(QObject* target) = 0;
    // Stops posting; idempotent.
    virtual void Stop() = 0;
};

// Posts a tick every period from the ticker's thread, on the given clock.
class ThreadTickSource final : public PanelTickSource {
public:
    explicit ThreadTickSource(Clock& clock, Nanos period = PanelTicker::kPeriod) : m_ticker(clock, period) { }

    bool Start(QObject* target) override;
    void Stop() override { m_ticker.Stop(); }

private:
    PanelTicker m_ticker;
};

// Posts nothing: the owner (a test) calls the tick handler itself.
class ManualTickSource final : public PanelTickSource {
public:
    bool Start(QObject*) override { return true; }
    void Stop() override { }
};

} // namespace velmora
