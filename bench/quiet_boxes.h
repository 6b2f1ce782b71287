#pragma once

// Boxes that never block: a notice is dropped, an error only recorded, so
// that a failed first scan cannot hold a benchmark in a modal box.

#include <string>
#include <vector>

#include "window/boxes.h"

namespace melvorin::bench {

class QuietBoxes : public window::IBoxes {
public:
    void ShowNotice(const std::string&) override {}
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void Beep() override {}
    std::vector<std::string> errors;
};

}  // namespace melvorin::bench
