#pragma once

// The organisation (maker) that a hardware address was assigned to, from the
// IEEE registries: MA-L (24-bit prefixes), MA-M (28), MA-S and IAB (36). The
// longest matching prefix wins. The registries are read once, when the first
// maker is asked for; missing files mean no maker, never an error, and a
// file that cannot be read, or no memory for the table, is told (OnNote).

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "units/hardware_address.h"

namespace melvorin::units {

class Makers {
public:
    // `folder` holds oui.csv, mam.csv, oui36.csv and iab.csv; nothing is read
    // before the first MakerOf().
    explicit Makers(std::string folder = DefaultFolder());
    ~Makers();
    Makers(const Makers&) = delete;
    Makers& operator=(const Makers&) = delete;

    // The registry's organisation name; nothing for a locally administered
    // address or one no registry lists. Safe to call from several threads.
    std::optional<std::string> MakerOf(const HardwareAddress& address);

    // Told once of each registry file that cannot be read (its makers are
    // left out) and of a table there is no memory for (no makers then).
    // Set before the first MakerOf(); called on its thread.
    std::function<void(const std::string& note)> OnNote;

    // Where this system keeps the registries (/usr/share/ieee-data on Linux,
    // beside the program on Windows).
    static std::string DefaultFolder();

    // The registry files, in the order they are read.
    static constexpr const char* kFiles[] = {"oui.csv", "mam.csv", "oui36.csv", "iab.csv"};

private:
    struct Table;
    std::unique_ptr<Table> Load() const;
    std::string folder_;
    std::once_flag loaded_;
    std::unique_ptr<Table> table_;
};

}  // namespace melvorin::units
