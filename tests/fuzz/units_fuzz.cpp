// Fuzz target: what reads text from outside about units. The first byte
// picks one (its value modulo 3), the rest is the input:
//   0  a registry CSV file: whatever it holds, every name found is trimmed,
//      on one line, and, where it holds no quote, a piece of the file; the
//      same names are found when every record is read field by field, and
//      when the file comes in two pieces cut where its first byte says;
//   1  a hardware-address argument: it parses exactly when a reference of
//      the format written here says so, and formats back to the same octets
//      in lower case with colons;
//   2  a record file's tail: the bytes before the first zero byte are the
//      file as a killed run may have left it, the lines after it (split at
//      line breaks) are appended; the old bytes stay, every new line is
//      whole, on a line of its own.

#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "units/hardware_address.h"
#include "units/record.h"
#include "units/registry.h"

namespace melvorin::fuzz {
namespace {

using units::HardwareAddress;

void Registry(std::string_view text) {
    units::Registry registry;
    registry.AddCsv(text);
    FUZZ_CHECK(registry.Size() <= text.size() / 8, "more assignments than the text can hold");
    units::Registry fieldByField;
    fieldByField.ReadEveryRecordFieldByField();
    fieldByField.AddCsv(text);
    // In two pieces, as the registry files are read: what the first leaves
    // comes again at the start of the second.
    units::Registry pieces;
    const std::size_t cut = text.empty() ? 0 : static_cast<unsigned char>(text[0]) * text.size() / 256;
    std::string piece(text.substr(0, cut));
    piece.erase(0, pieces.AddCsvPiece(piece, false));
    piece.append(text.substr(cut));
    pieces.AddCsvPiece(piece, true);
    FUZZ_CHECK(fieldByField.Size() == registry.Size() && pieces.Size() == registry.Size(),
               std::to_string(registry.Size()) + " assignments, field by field " + std::to_string(fieldByField.Size()) +
                   ", in pieces cut at " + std::to_string(cut) + " " + std::to_string(pieces.Size()));
    // A file that fails to read midway is dropped: what came before it stays
    // exactly as it was.
    const std::size_t line = cut == 0 ? std::string_view::npos : text.rfind('\n', cut - 1);
    const std::string_view before = text.substr(0, line == std::string_view::npos ? 0 : line + 1);
    units::Registry beforeOnly, dropped;
    beforeOnly.AddCsv(before);
    dropped.AddCsv(before);
    const std::size_t mark = dropped.NamesHeld();
    dropped.AddCsv(text);
    dropped.DropFrom(mark);
    FUZZ_CHECK(dropped.Size() == beforeOnly.Size(), "dropping the second file left " + std::to_string(dropped.Size()) +
                                                        " assignments, not " + std::to_string(beforeOnly.Size()));
    // Addresses made of the text's own bytes, so prefixes it lists are hit.
    for (std::size_t at = 0; at + 6 <= text.size(); at += 5) {
        HardwareAddress address;
        for (std::size_t i = 0; i < 6; ++i) address.octets[i] = static_cast<std::uint8_t>(text[at + i]);
        const std::optional<std::string_view> name = registry.Find(address);
        FUZZ_CHECK(fieldByField.Find(address) == name && pieces.Find(address) == name,
                   "another name at " + HexOf(address.octets.data(), 6));
        FUZZ_CHECK(dropped.Find(address) == beforeOnly.Find(address), "after the drop, another name at " +
                                                                         HexOf(address.octets.data(), 6));
        if (!name) continue;
        const std::string shown(*name);
        FUZZ_CHECK(!name->empty() && name->front() != ' ' && name->back() != ' ' && name->front() != '\t' &&
                       name->back() != '\t',
                   shown);
        FUZZ_CHECK(name->find_first_of("\r\n") == std::string_view::npos, shown);
        FUZZ_CHECK(name->find('"') != std::string_view::npos || text.find(*name) != std::string_view::npos, shown);
    }
}

bool ReferenceValid(std::string_view s) {
    if (s.size() != 17 || (s[2] != ':' && s[2] != '-')) return false;
    for (std::size_t i = 0; i < 17; ++i) {
        const bool ok = i % 3 == 2 ? s[i] == s[2] : std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
        if (!ok) return false;
    }
    return true;
}

void Address(std::string_view text) {
    const std::optional<HardwareAddress> parsed = units::ParseHardwareAddress(text);
    std::string shown = "'";  // built in steps: GCC 12 at -O3 warns falsely on a chain of +
    shown.append(text).push_back('\'');
    FUZZ_CHECK(parsed.has_value() == ReferenceValid(text), shown);
    if (!parsed) return;
    const std::string written = units::FormatHardwareAddress(*parsed);
    std::string expected(text);
    for (char& c : expected) c = c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(written == expected, shown + " written as " + written);
    FUZZ_CHECK(units::ParseHardwareAddress(written) == parsed, shown);
}

std::string RecordPath() {
    const std::filesystem::path memory = "/dev/shm";
    const std::filesystem::path folder = std::filesystem::is_directory(memory) ? memory : std::filesystem::temp_directory_path();
    static const std::string path = (folder / ("mlv-fuzz-record-" + std::to_string(::getpid()))).string();
    static const bool removed = [] { return std::atexit([] { std::filesystem::remove(path); }) == 0; }();
    (void)removed;
    return path;
}

void RecordTail(std::string_view input) {
    const std::size_t zero = input.find('\0');
    const std::string before(input.substr(0, zero));
    std::vector<std::string> lines;
    if (zero != std::string_view::npos) {
        std::string_view rest = input.substr(zero + 1);
        for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1)) {
            lines.emplace_back(rest.substr(0, end));
        }
        lines.emplace_back(rest);
    }
    const std::string path = RecordPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;
    {
        units::RecordFile file(path);
        file.Append(lines);
    }
    std::ifstream in(path, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string expected = before;
    if (!lines.empty() && !before.empty() && before.back() != '\n') expected += '\n';
    for (const std::string& line : lines) expected += line + '\n';
    FUZZ_CHECK(after == expected, "file became " + HexOf(reinterpret_cast<const std::uint8_t*>(after.data()), after.size()));
}

}  // namespace
}  // namespace melvorin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: melvorin::fuzz::Registry(input); break;
    case 1: melvorin::fuzz::Address(input); break;
    default: melvorin::fuzz::RecordTail(input); break;
    }
    return 0;
}
