#pragma once

// Network names as the list shows them, by the rule of protocol/shown_name.h
// (the command-line tool shows them the same way).

#include <QString>

#include "protocol/bytes.h"

namespace melvorin::ui {

struct VisibleName {
    QString Text;         // what the list shows
    bool Marked = false;  // some character is shown as a marker
};

// ShowName() of `name`: characters that hide or reorder text become
// "[U+XXXX]".
VisibleName MakeVisible(const QString& name);

// The row's tooltip: the whole name, and the bytes as received in hexadecimal
// when some of them are not shown as themselves (markers, bytes that do not
// decode, bytes after a zero byte). Rich text, with the name escaped.
QString NameToolTip(const VisibleName& name, const TIdBytes& raw);

}  // namespace melvorin::ui
