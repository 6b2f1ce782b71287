#pragma once

// How the window's own widgets appear to assistive technology (screen
// readers through AT-SPI): the status line as a status bar whose every
// change is a text change, with a notification that speaks its outcomes
// (qt/announcer.h); the notice box as an alert carrying its text; the edit
// boxes read whole.

class QObject;
class QString;

namespace melvorin::qt {

// Installs the accessible interfaces for the status line, its
// notification, the notice box and the edit boxes. Idempotent; call before
// the first of them exists.
void InstallAccessibility();

// Tells assistive technology that `object`'s text went from `before` to
// `after` (a text-changed event as well as the name change).
void AnnounceTextChange(QObject* object, const QString& before, const QString& after);

}  // namespace melvorin::qt
