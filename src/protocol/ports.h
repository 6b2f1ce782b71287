#pragma once

// The few things the exchanges need from the window and the transport.
// The window's widgets and the UDP endpoint implement them; tests use
// recording fakes. All text is UTF-8.

#include <cstdint>
#include <string>

#include "protocol/bytes.h"
#include "protocol/shown_name.h"

namespace melvorin {

// A network of a list reply: its SSID bytes as received, the text they read
// as (UTF-8), that text as people are shown it, and its signal strength in
// percent.
struct TNetwork {
    TIdBytes bytes;
    std::string text;
    ShownName shown;
    int strength = 0;
};

// What a join result says: offset 5 (the key) first, then offset 4 (the SSID).
enum class JoinVerdict { Accepted, KeyFormat, SsidNotFound };

// A join result: the device's verdict and the notice's text for it.
struct TJoinResult {
    JoinVerdict verdict = JoinVerdict::Accepted;
    std::string text;
};

// The list of networks (lvSsid).
class ISsidList {
public:
    virtual ~ISsidList() = default;
    virtual void Clear() = 0;
    virtual void AddRow(const TNetwork& network) = 0;
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
    virtual void ShowNotice(const TJoinResult& result) = 0;
};

// The endpoint's send operation. Failures are raised as melvorin::Exception.
class IDatagramSender {
public:
    virtual ~IDatagramSender() = default;
    virtual void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) = 0;
};

}  // namespace melvorin
