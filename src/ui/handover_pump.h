#pragma once

#include <QEvent>
#include <QObject>

namespace melvorin::ui {

// Runs the calls that listener threads hand over to the window's thread.
// Created on the window's thread: it marks that thread as the one the
// hand-over queue runs on and installs a wake-up that posts an event to this
// object, which the main event loop and every modal loop (an open notice or
// error box) deliver. Must outlive the endpoint's listeners; its destructor
// removes the wake-up.
class THandOverPump : public QObject {
    Q_OBJECT
public:
    THandOverPump();
    ~THandOverPump() override;
    THandOverPump(const THandOverPump&) = delete;
    THandOverPump& operator=(const THandOverPump&) = delete;

    static QEvent::Type WakeUpEvent();

protected:
    bool event(QEvent* event) override;
};

}  // namespace melvorin::ui
