#include "qt/handover_pump.h"

#include <QCoreApplication>

namespace melvorin::qt {

QEvent::Type THandOverPump::WakeUpEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

THandOverPump::THandOverPump() {
    const QEvent::Type type = WakeUpEvent();
    // postEvent is safe from any thread; the object lives until the wake-up
    // is removed again in the destructor.
    handOver_.SetWakeUp([this, type] { QCoreApplication::postEvent(this, new QEvent(type)); });
}

THandOverPump::~THandOverPump() {
    handOver_.SetWakeUp({});
    QCoreApplication::removePostedEvents(this, WakeUpEvent());
}

bool THandOverPump::event(QEvent* e) {
    if (e->type() == WakeUpEvent()) {
        handOver_.RunQueued();
        return true;
    }
    return QObject::event(e);
}

}  // namespace melvorin::qt
