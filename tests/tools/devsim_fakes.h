#pragma once

// Recording stand-ins for the window's list, key box and notice box, and for
// the endpoint's send, so the tool's own protocol code can talk to the
// simulated device without a window or a socket.

#include <string>
#include <utility>
#include <vector>

#include "protocol/ports.h"

namespace melvorin::devsim::testing {

struct Row {
    std::string caption;
    std::string subItem;
    bool operator==(const Row&) const = default;
};

class RecordingList : public ISsidList {
public:
    void Clear() override { rows.clear(); }
    void AddRow(const std::string& caption, const std::string& subItem) override {
        rows.push_back({caption, subItem});
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return selected; }

    std::vector<Row> rows;
    int selected = -1;
};

class RecordingNotice : public INotice {
public:
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    std::vector<std::string> notices;
};

class FakeKeyBox : public IKeyBox {
public:
    explicit FakeKeyBox(std::string initial) : text(std::move(initial)) {}
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    void SetColor(TColor c) override { color = c; }
    std::string text;
    TColor color = 0;
};

class RecordingSender : public IDatagramSender {
public:
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override {
        sent.push_back({host, port, data});
    }
    struct Sent {
        std::string host;
        std::uint16_t port;
        TIdBytes data;
    };
    std::vector<Sent> sent;
};

}  // namespace melvorin::devsim::testing
