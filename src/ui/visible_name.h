#pragma once

// Network names as the list shows them: characters that would hide or
// reorder text are replaced by visible markers, so that no name can pass for
// another.

#include <QString>

#include "protocol/bytes.h"

namespace melvorin::ui {

struct VisibleName {
    QString Text;         // what the list shows
    bool Marked = false;  // some character is shown as a marker
};

// Bidirectional controls, zero-width and other format characters, control
// characters, line and paragraph separators, spaces other than U+0020 and
// the blank fillers become "[U+XXXX]".
VisibleName MakeVisible(const QString& name);

// The row's tooltip: the whole name, and the bytes as received in hexadecimal
// when some of them are not shown as themselves (markers, bytes that do not
// decode, bytes after a zero byte). Rich text, with the name escaped.
QString NameToolTip(const VisibleName& name, const TIdBytes& raw);

}  // namespace melvorin::ui
