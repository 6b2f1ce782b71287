#pragma once

// The few things the exchanges need from the window and the transport.
// The window's widgets and the UDP endpoint implement them; tests use
// recording fakes. All text is UTF-8.

#include <cstdint>
#include <string>

#include "protocol/bytes.h"

namespace melvorin {

// The list of networks (lvSsid).
class ISsidList {
public:
    virtual ~ISsidList() = default;
    virtual void Clear() = 0;
    virtual void AddRow(const std::string& caption, const std::string& subItem) = 0;
    virtual int RowCount() const = 0;
    // Index of the selected row, or -1 when no row is selected.
    virtual int SelectedRow() const = 0;
};

// Colours are stored as blue-green-red, as in 0x00EAF3DA.
using TColor = std::uint32_t;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clKeyFocus = 0x00EAF3DA;

// The key box (edtKey).
class IKeyBox {
public:
    virtual ~IKeyBox() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void SetColor(TColor color) = 0;
};

// The notice box that shows a join result.
class INotice {
public:
    virtual ~INotice() = default;
    virtual void ShowNotice(const std::string& text) = 0;
};

// The endpoint's send operation. Failures are raised as melvorin::Exception.
class IDatagramSender {
public:
    virtual ~IDatagramSender() = default;
    virtual void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) = 0;
};

}  // namespace melvorin
