#include "units/makers.h"

#include <cstring>
#include <vector>

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
        // A file missing or unreadable adds nothing. Their sizes together
        // size the table before anything goes in.
        std::vector<sys::FileHandle> files;
        std::uint64_t bytes = 0;
        for (const char* name : kFiles) {
            if (const std::optional<sys::FileHandle> file = sys::OpenForReading(sys::InFolder(folder_, name))) {
                files.push_back(*file);
                bytes += sys::SizeOf(*file);
            }
        }
        table->registry.Reserve(static_cast<std::size_t>(bytes));
        // Each file in pieces through one small buffer, so that loading
        // touches little more memory than the table takes.
        std::vector<char, sys::TableAllocator<char>> buffer(256 * 1024);
        for (const sys::FileHandle file : files) {
            std::size_t have = 0;
            for (bool last = false; !last;) {
                if (have == buffer.size()) buffer.resize(buffer.size() * 2);  // one record longer than it
                const long got = sys::ReadSome(file, buffer.data() + have, buffer.size() - have);
                last = got <= 0;
                have += last ? 0 : static_cast<std::size_t>(got);
                const std::size_t taken = table->registry.AddCsvPiece(std::string_view(buffer.data(), have), last);
                std::memmove(buffer.data(), buffer.data() + taken, have - taken);
                have -= taken;
            }
            sys::CloseFile(file);
        }
        table_ = std::move(table);
    });
    const std::optional<std::string_view> name = table_->registry.Find(address);
    if (!name) return std::nullopt;
    return std::string(*name);
}

std::string Makers::DefaultFolder() { return sys::RegistryFolder(); }

}  // namespace melvorin::units
