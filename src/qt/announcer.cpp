#include "qt/announcer.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace melvorin::qt {

namespace {

// How long after the window becomes active a waiting line is spoken: the
// reader first says the window and the focus.
constexpr int kSettleMs = 1000;

}  // namespace

TAnnouncer::TAnnouncer(QWidget* owner) : QObject(owner) {
    setObjectName(QStringLiteral("lblStatusNotice"));
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TAnnouncer::SpeakIfFree);
    owner->window()->installEventFilter(this);
}

QWidget* TAnnouncer::Owner() const { return static_cast<QWidget*>(parent()); }

void TAnnouncer::Say(const QString& line) {
    waiting_ = line;
    // Later, not now: a box the same handler opens next is open by then.
    if (!timer_.isActive()) timer_.start(0);
}

bool TAnnouncer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !waiting_.isEmpty() && Owner()->window()->isActiveWindow()) {
        timer_.start(kSettleMs);
    }
    return QObject::eventFilter(watched, event);
}

void TAnnouncer::SpeakIfFree() {
    if (waiting_.isEmpty() || !Owner()->window()->isActiveWindow() || QApplication::activeModalWidget() != nullptr) {
        return;  // the window's next activation speaks it
    }
    spoken_ = waiting_;
    waiting_.clear();
    if (!QAccessible::isActive()) return;
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

}  // namespace melvorin::qt
