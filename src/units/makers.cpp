#include "units/makers.h"

#include "units/registry.h"
#include "units/system.h"

namespace melvorin::units {

struct Makers::Table {
    Registry registry;
};

Makers::Makers(std::string folder) : folder_(std::move(folder)) {}

Makers::~Makers() = default;

std::optional<std::string> Makers::MakerOf(const HardwareAddress& address) {
    if (IsLocallyAdministered(address)) return std::nullopt;
    std::call_once(loaded_, [this] {
        auto table = std::make_unique<Table>();
        std::string text;
        for (const char* name : kFiles) {
            // A file missing or unreadable adds nothing.
            if (sys::ReadWholeFile(sys::InFolder(folder_, name), text)) table->registry.AddCsv(text);
        }
        table_ = std::move(table);
    });
    const std::optional<std::string_view> name = table_->registry.Find(address);
    if (!name) return std::nullopt;
    return std::string(*name);
}

std::string Makers::DefaultFolder() { return sys::RegistryFolder(); }

}  // namespace melvorin::units
