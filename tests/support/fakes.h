#pragma once

// Recording stand-ins for the window's widgets and the UDP endpoint, for the
// protocol tests, the simulated device tests and the fuzz targets.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "protocol/sender.h"
#include "protocol/widgets.h"

namespace melvorin::testing {

class FakeSsidList : public ISsidList {
public:
    struct Row {
        std::string caption;
        std::string subItem;
        bool operator==(const Row&) const = default;
    };

    void Clear() override {
        rows.clear();
        ++clears;
    }
    // Recorded as the window shows it: the text and the strength in percent.
    void AddRow(const TNetwork& network) override {
        rows.push_back({network.text, std::to_string(network.strength) + "%"});
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return selected; }

    std::vector<Row> rows;
    int clears = 0;
    int selected = -1;
};

class FakeKeyBox : public IKeyBox {
public:
    explicit FakeKeyBox(std::string initial = {}) : text(std::move(initial)) {}

    std::string Text() const override {
        ++reads;
        return text;
    }
    void SetText(const std::string& value) override {
        text = value;
        texts.push_back(value);
    }
    void SetColor(TColor value) override { colors.push_back(value); }

    std::string text;
    std::vector<std::string> texts;  // every SetText, in order
    std::vector<TColor> colors;      // every SetColor, in order
    mutable int reads = 0;
};

class FakeNotice : public INotice {
public:
    void ShowNotice(const TJoinResult& result) override {
        notices.push_back(result.text);
        verdicts.push_back(result.verdict);
    }

    std::vector<std::string> notices;
    std::vector<JoinVerdict> verdicts;
};

class FakeSender : public IDatagramSender {
public:
    struct Sent {
        std::string host;
        std::uint16_t port;
        TIdBytes data;
    };

    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override {
        sent.push_back({host, port, data});
    }

    std::vector<Sent> sent;
};

}  // namespace melvorin::testing
