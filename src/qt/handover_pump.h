#pragma once

#include <QEvent>
#include <QObject>

#include "net/handover.h"

namespace melvorin::qt {

// Runs the calls that listener threads hand over to the window's thread.
// Created on the window's thread, it owns the hand-over that the window's
// endpoint uses (that thread is the hand-over's) and wakes that thread by
// posting an event to this object, which the main event loop and every modal
// loop (an open notice or error box) deliver. Must outlive the endpoint.
class THandOverPump : public QObject {
    Q_OBJECT
public:
    THandOverPump();
    ~THandOverPump() override;
    THandOverPump(const THandOverPump&) = delete;
    THandOverPump& operator=(const THandOverPump&) = delete;

    net::THandOver& HandOver() { return handOver_; }

    static QEvent::Type WakeUpEvent();

protected:
    bool event(QEvent* event) override;

private:
    net::THandOver handOver_;
};

}  // namespace melvorin::qt
