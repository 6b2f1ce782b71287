#pragma once

// The widgets the exchanges fill and read: the list of networks, the key box
// and the notice box. The windows implement them; tests use recording fakes.
// All text is UTF-8.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/results.h"

namespace melvorin {

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

// A list that only keeps the rows a list reply fills it with, for readers
// that draw nothing.
class TRowRecorder : public ISsidList {
public:
    void Clear() override { rows.clear(); }
    void AddRow(const TNetwork& network) override { rows.push_back(network); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return -1; }
    std::vector<TNetwork> rows;
};

// Colours are stored as blue-green-red, as in 0x00EAF3DA.
using TColor = std::uint32_t;
inline constexpr TColor clRed = 0x000000FF;

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

}  // namespace melvorin
