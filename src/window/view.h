#pragma once

// What the form's logic needs from a window that draws it. Strings are
// UTF-8; every call comes on the window's thread.

#include <string>

#include "protocol/widgets.h"
#include "window/rules.h"
#include "window/status_model.h"

namespace melvorin::window {

// The key box's background while it has the focus (blue-green-red).
inline constexpr TColor clKeyFocus = 0x00EAF3DA;

class IFormView : public IStatusView {
public:
    // The list of networks (lvSsid).
    virtual void ClearRows() = 0;
    virtual void AddRow(const TShownRow& row) = 0;
    virtual int RowCount() const = 0;
    // Index of the selected row, or -1.
    virtual int SelectedRow() const = 0;

    // The key box (edtKey); an empty text clears it.
    virtual std::string KeyText() const = 0;
    virtual void SetKeyText(const std::string& text) = 0;
    virtual void SetKeyColor(TColor color) = 0;
    // Background back to the system window colour.
    virtual void SetKeyWindowColor() = 0;

    // The search-port box (edt_SearchPort).
    virtual std::string PortText() const = 0;
};

}  // namespace melvorin::window
