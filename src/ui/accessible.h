#pragma once

// How the window's own widgets appear to assistive technology (screen
// readers through AT-SPI): the status line as a status bar whose every
// change is a text change, the notice box as an alert carrying its text.

class QObject;
class QString;

namespace melvorin::ui {

// Installs the accessible interfaces for the status line and the notice
// box. Idempotent; call before the first of them exists.
void InstallAccessibility();

// Tells assistive technology that `object`'s text went from `before` to
// `after` (a text-changed event as well as the name change).
void AnnounceTextChange(QObject* object, const QString& before, const QString& after);

}  // namespace melvorin::ui
