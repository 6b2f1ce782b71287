#pragma once

// The status line under the window's layout, as drawn: plain text that
// wraps, no focus, the same text in its tooltip. What it says is decided by
// window/status_model.h.

#include <QLabel>
#include <QString>

#include "qt/announcer.h"

namespace melvorin::qt {

class TStatusLine : public QLabel {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // Shows `line`; assistive technology hears of a change as a text change.
    void Show(const QString& line);
    // Has a screen reader speak the line shown (see qt/announcer.h).
    void Announce(const QString& line) { announcer_->Say(line); }

private:
    TAnnouncer* announcer_;
};

}  // namespace melvorin::qt
