#pragma once

// Speaks a line to a screen reader without taking the focus: a hidden
// object of the notification role, under the status line, that shows itself
// with each new line (Orca presents a notification as it becomes showing).
// Nothing is drawn. A line waits while its window is not the active one
// (before the window first comes up, while a notice or error box is open,
// while the user is elsewhere) and is spoken a moment after the window is
// active again, once the reader has said where the focus is; a newer line
// replaces one still waiting.

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace melvorin::qt {

class TAnnouncer : public QObject {
    Q_OBJECT
public:
    // `owner` (the status line) is the object's parent for assistive
    // technology; its window is watched.
    explicit TAnnouncer(QWidget* owner);

    void Say(const QString& line);
    // The line spoken last: the notification's text.
    QString Spoken() const { return spoken_; }
    QWidget* Owner() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SpeakIfFree();

    QString waiting_;
    QString spoken_;
    QTimer timer_;
};

}  // namespace melvorin::qt
