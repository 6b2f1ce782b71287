// The one start-up and shut-down sequence every window runs, from FormCreate
// to the exchange state released, with a window and a pump that only keep a
// journal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/state.h"
#include "window/program.h"

namespace melvorin::window {
namespace {

std::vector<std::string> journal;
std::string portText;  // the search-port box's text

class JournalPump {
public:
    JournalPump() { journal.push_back("pump"); }
    ~JournalPump() { journal.push_back("pump gone"); }
    net::THandOver& HandOver() { return handOver_; }

private:
    net::THandOver handOver_;
};

class JournalBoxes : public IBoxes {
public:
    void ShowNotice(const std::string& text) override { journal.push_back("notice " + text); }
    void ShowError(const std::string& text) override { journal.push_back("error " + text); }
    void Beep() override {}
};

class JournalWindow : public IMainWindow, private IFormView {
public:
    JournalWindow(IBoxes& boxes, net::THandOver& handOver) : logic_(*this, boxes, handOver) {
        journal.push_back("window");
    }
    ~JournalWindow() override {
        journal.push_back(logic_.Endpoint().Active() ? "window gone, endpoint open" : "window gone");
        // The exchange state lives on until after the window.
        if (State().SearchPort == 0) journal.push_back("state released too early");
    }
    TFormLogic& Logic() override { return logic_; }
    void ShowCentred() override { journal.push_back("shown"); }
    void RunEventLoop() override { journal.push_back("loop"); }
    void Hide() override { journal.push_back(logic_.Endpoint().Active() ? "hidden, endpoint open" : "hidden"); }

private:
    void ClearRows() override {}
    void AddRow(const TShownRow&) override {}
    int RowCount() const override { return 0; }
    int SelectedRow() const override { return -1; }
    std::string KeyText() const override { return {}; }
    void SetKeyText(const std::string&) override {}
    void SetKeyColor(TColor) override {}
    void SetKeyWindowColor() override {}
    std::string PortText() const override { return portText; }
    void SetStatusText(const std::string&) override {}
    void StartTimer(TTimer, std::chrono::milliseconds) override {}
    void StopTimer(TTimer) override {}

    TFormLogic logic_;
};

std::vector<std::string> RunProgram(const std::string& port, const bool* stopRequested = nullptr) {
    journal.clear();
    portText = port;
    JournalBoxes boxes;
    RunMainWindow<JournalPump, JournalWindow>(
        boxes, [](JournalWindow&) { State().SearchPort = 7; journal.push_back("created"); }, stopRequested);
    if (State().SearchPort != 0) journal.push_back("state kept");
    return journal;
}

TEST(Program, TheFirstScanOpensTheEndpointWhichClosesAfterTheLoopBeforeTheWindowGoes) {
    EXPECT_EQ(RunProgram("1902"), (std::vector<std::string>{"pump", "window", "created", "shown", "loop",
                                                      "hidden, endpoint open", "window gone", "pump gone"}));
}

TEST(Program, TheFirstScansErrorComesBeforeTheWindowWhichOpensAnyway) {
    const std::string error = "error '' is not a valid integer value.";
    EXPECT_EQ(RunProgram(""), (std::vector<std::string>{"pump", "window", "created", error, "shown", "loop", "hidden",
                                                  "window gone", "pump gone"}));
    // A termination request during that error box: neither shown nor run.
    const bool stop = true;
    EXPECT_EQ(RunProgram("", &stop),
              (std::vector<std::string>{"pump", "window", "created", error, "hidden", "window gone", "pump gone"}));
}

}  // namespace
}  // namespace melvorin::window
