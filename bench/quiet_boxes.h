#pragma once

// Boxes that never block: a notice is dropped, an error only recorded, so
// that a failed first scan cannot hold a benchmark in a modal box.

#include <QString>
#include <string>
#include <vector>

#include "ui/boxes.h"

namespace melvorin::bench {

class QuietBoxes : public ui::IBoxes {
public:
    void ShowNotice(const QString&) override {}
    void ShowError(const QString& text) override { errors.push_back(text.toStdString()); }
    void Beep() override {}
    std::vector<std::string> errors;
};

}  // namespace melvorin::bench
