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
        try {
            table_ = Load();
        } catch (const std::bad_alloc&) {
            if (OnNote) OnNote("no memory for the makers' table: makers are left out");
            table_ = std::make_unique<Table>();
        }
    });
    const std::optional<std::string_view> name = table_->registry.Find(address);
    if (!name) return std::nullopt;
    return std::string(*name);
}

std::unique_ptr<Makers::Table> Makers::Load() const {
    auto table = std::make_unique<Table>();
    // A file missing adds nothing. Their sizes together size the table
    // before anything goes in.
    std::vector<std::pair<sys::FileHandle, std::string>> files;
    std::uint64_t bytes = 0;
    for (const char* name : kFiles) {
        std::string path = sys::InFolder(folder_, name);
        if (const std::optional<sys::FileHandle> file = sys::OpenForReading(path)) {
            files.emplace_back(*file, std::move(path));
            bytes += sys::SizeOf(*file);
        }
    }
    try {
        table->registry.Reserve(static_cast<std::size_t>(bytes));
        // Each file in pieces through one small buffer, so that loading
        // touches little more memory than the table takes.
        std::vector<char, sys::TableAllocator<char>> buffer(256 * 1024);
        for (const auto& [file, path] : files) {
            const std::size_t mark = table->registry.NamesHeld();
            std::size_t have = 0;
            bool failed = false;
            for (bool last = false; !last;) {
                if (have == buffer.size()) buffer.resize(buffer.size() * 2);  // one record longer than it
                const long got = sys::ReadSome(file, buffer.data() + have, buffer.size() - have);
                failed = got < 0;
                last = got <= 0;
                have += last ? 0 : static_cast<std::size_t>(got);
                if (failed) break;
                const std::size_t taken = table->registry.AddCsvPiece(std::string_view(buffer.data(), have), last);
                std::memmove(buffer.data(), buffer.data() + taken, have - taken);
                have -= taken;
            }
            // Half a file is not to be trusted: none of it.
            if (failed) {
                table->registry.DropFrom(mark);
                if (OnNote) OnNote("cannot read the registry file \"" + path + "\": its makers are left out");
            }
        }
    } catch (...) {
        for (const auto& file : files) sys::CloseFile(file.first);
        throw;
    }
    for (const auto& file : files) sys::CloseFile(file.first);
    return table;
}

std::string Makers::DefaultFolder() { return sys::RegistryFolder(); }

}  // namespace melvorin::units
