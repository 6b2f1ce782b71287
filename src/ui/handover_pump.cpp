#include "ui/handover_pump.h"

#include <QCoreApplication>

#include "net/handover.h"

namespace melvorin::ui {

QEvent::Type THandOverPump::WakeUpEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

THandOverPump::THandOverPump() {
    const QEvent::Type type = WakeUpEvent();
    net::SetMainThread();
    // postEvent is safe from any thread; the object lives until the wake-up
    // is removed again in the destructor.
    net::SetWakeUp([this, type] { QCoreApplication::postEvent(this, new QEvent(type)); });
}

THandOverPump::~THandOverPump() {
    net::SetWakeUp({});
    QCoreApplication::removePostedEvents(this, WakeUpEvent());
}

bool THandOverPump::event(QEvent* e) {
    if (e->type() == WakeUpEvent()) {
        net::RunQueued();
        return true;
    }
    return QObject::event(e);
}

}  // namespace melvorin::ui
