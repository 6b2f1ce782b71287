#pragma once

// Small rules every window applies the same way: the key filters, the
// application title, the notice box's clipboard text and how a network's
// name is shown.

#include <functional>
#include <string>
#include <vector>

#include "protocol/results.h"

namespace melvorin::window {

// What becomes of a character typed into a box.
enum class TKeyVerdict { Keep, Drop, Beep };

// The search-port box keeps digits and Backspace (8); every other character
// is dropped with a beep.
TKeyVerdict SearchPortKey(char16_t key);
// The key box drops characters from U+00A0 on, silently.
TKeyVerdict KeyBoxKey(char16_t key);

// Enter in the list joins the selected row or, when none is selected, the
// current one (tabbing in makes a row current without selecting it): the row
// to select and join, or -1 for none.
int RowToJoinOnEnter(int selectedRow, int currentRow);

// The application title made from the program file's name (UTF-8): the
// directory part removed (up to the last "/" or "\"), the name cut at its
// first ".", the first character kept as it is and the rest put through
// `lower` (the window's own case mapping). "/usr/bin/Melvorin.exe" gives
// "Melvorin", "melvorin" gives "melvorin".
std::string MakeApplicationTitle(const std::string& programPath,
                                 const std::function<std::string(const std::string&)>& lower);

// The title of this run: the caption of the notice and error boxes.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// What Ctrl+C in the notice box puts on the clipboard: caption, text and
// button label between rules of 27 "-", one per line.
std::string NoticeClipboardText(const std::string& caption, const std::string& text, const std::string& button);

// A network's row as the list shows it.
struct TShownRow {
    std::string name;      // the name with markers for hiding characters
    std::string strength;  // "73%"
    // The tooltip, one paragraph each: the whole name; its bytes in
    // hexadecimal when some are not shown as themselves; the other reading
    // when the bytes are valid both as UTF-8 and as code page 936.
    std::vector<std::string> tip;
};

// The row of a network of a list reply.
TShownRow ShowRow(const TNetwork& network);

}  // namespace melvorin::window
