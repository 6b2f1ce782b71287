// The form's logic with a window that only records and look-ups that fail
// on demand: what a failure does to a received datagram and to the error box.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/listener.h"
#include "protocol/errors.h"
#include "window/form_logic.h"
#include "wire.h"

namespace melvorin::window {
namespace {

using testing::BytesOf;

class RecordingView : public IFormView {
public:
    void ClearRows() override { rows = 0; }
    void AddRow(const TShownRow&) override { ++rows; }
    int RowCount() const override { return rows; }
    int SelectedRow() const override { return -1; }
    std::string KeyText() const override { return "12345678"; }
    void SetKeyText(const std::string&) override {}
    void SetKeyColor(TColor) override {}
    void SetKeyWindowColor() override {}
    std::string PortText() const override {
        if (!portFailure.empty()) throw Exception(portFailure);
        return "1902";
    }
    void SetStatusText(const std::string& text) override { line = text; }
    void StartTimer(TTimer, std::chrono::milliseconds) override {}
    void StopTimer(TTimer) override {}

    int rows = 0;
    std::string line;
    std::string portFailure;  // PortText() raises it when set
};

class RecordingBoxes : public IBoxes {
public:
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void Beep() override {}
    std::vector<std::string> notices, errors;
};

struct Logic : ::testing::Test {
    net::THandOver handOver;
    RecordingView view;
    RecordingBoxes boxes;
    TFormLogic logic{view, boxes, handOver};
};

// The unit look-up (after the rows are in) fails for one list: that list's
// line is not written, its failure goes to the endpoint's log, nothing leaves
// the handler, and the next datagram is handled whole.
TEST_F(Logic, AFailureAroundTheDatagramHandlerDropsThatDatagramOnly) {
    std::vector<std::string> dropped;
    logic.Endpoint().OnLog = [&dropped](const net::TIdLogEntry& entry) {
        if (entry.Kind == net::TIdLogKind::Dropped) dropped.push_back(entry.Message);
    };
    bool fail = true;
    logic.SetUnitLookup(
        [&fail] {
            if (fail) throw std::runtime_error("neighbour table unreadable");
            return net::TNeighbourTable();
        },
        "");
    auto binding = std::make_shared<net::TIdSocketHandle>();
    binding->PeerIP = "10.0.0.7";
    binding->PeerInterface = "lo";
    net::TIdUDPListenerThread thread(logic.Endpoint(), handOver, binding, "idpsrvr1 Listener #1");
    const TIdBytes list = testing::ListReply({{BytesOf("Home"), 73}});

    EXPECT_NO_THROW(logic.idpsrvr1UDPRead(thread, list, *binding));
    EXPECT_EQ(view.rows, 1);  // the work done before the failure stays
    EXPECT_EQ(view.line, "");
    EXPECT_EQ(dropped, std::vector<std::string>{"Exception: neighbour table unreadable"});

    fail = false;
    logic.idpsrvr1UDPRead(thread, list, *binding);
    EXPECT_EQ(view.line, "1 network from the device at 10.0.0.7 on lo.");
    EXPECT_EQ(dropped.size(), 1u);
    EXPECT_TRUE(boxes.errors.empty());
}

// A socket error's Windows line end reaches the boxes as it is: the Win32
// box shows it so; the Qt box makes it one line break itself.
TEST_F(Logic, TheErrorBoxGetsTheMessagesLineEnds) {
    view.portFailure = "Socket Error # 10048\r\nAddress already in use";
    logic.btnSearchClick();
    EXPECT_EQ(boxes.errors, std::vector<std::string>{"Socket Error # 10048\r\nAddress already in use."});
}

}  // namespace
}  // namespace melvorin::window
