#include "units/registry.h"

#include <cstring>

namespace melvorin::units {

namespace {

constexpr int kPrefixBits[] = {36, 28, 24};  // longest first

// The prefix's bits and a code for its length: at most 38 bits.
std::uint64_t KeyOf(std::uint64_t prefix, int bits) {
    return prefix << 2 | static_cast<std::uint64_t>(bits == 24 ? 0 : bits == 28 ? 1 : 2);
}

std::size_t FirstSlot(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The prefix's length in bits that a registry assigns, 0 for no registry.
int BitsOf(std::string_view registry) {
    if (registry == "MA-L") return 24;
    if (registry == "MA-M") return 28;
    if (registry == "MA-S" || registry == "IAB") return 36;
    return 0;
}

// Reads CSV records one field at a time. A field ends at a comma or at the
// end of its line ("\n" or "\r\n"); a quoted one at its closing quote, which
// a comma, the line's end or the text's end must follow.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool AtEnd() const { return p_ == end_; }
    std::size_t Offset(std::string_view text) const { return static_cast<std::size_t>(p_ - text.data()); }

    // The next field of the current record into `out` (unquoted), or false
    // when the record is malformed there. `lineEnded` says whether it was
    // the record's last field.
    bool Field(std::string& out, bool& lineEnded) {
        out.clear();
        lineEnded = false;
        if (p_ != end_ && *p_ == '"') {
            ++p_;
            for (;;) {
                const char* quote = static_cast<const char*>(std::memchr(p_, '"', static_cast<std::size_t>(end_ - p_)));
                if (quote == nullptr) {
                    p_ = end_;
                    return false;
                }
                out.append(p_, quote);
                p_ = quote + 1;
                if (p_ != end_ && *p_ == '"') {
                    out.push_back('"');
                    ++p_;
                    continue;
                }
                break;
            }
            return Delimiter(lineEnded);
        }
        const char* start = p_;
        while (p_ != end_ && *p_ != ',' && *p_ != '\n') ++p_;
        out.assign(start, p_);
        if (!out.empty() && out.back() == '\r' && (p_ == end_ || *p_ == '\n')) out.pop_back();
        return Delimiter(lineEnded);
    }

    // Past the rest of the record, line breaks inside quoted fields included.
    void SkipRecord() {
        while (p_ != end_) {
            if (*p_ == '"') SkipQuoted();
            const char* newline = Find('\n', end_);
            const char* comma = static_cast<const char*>(std::memchr(p_, ',', static_cast<std::size_t>(newline - p_)));
            if (comma == nullptr) {
                p_ = newline == end_ ? end_ : newline + 1;
                return;
            }
            p_ = comma + 1;
        }
    }

    // After a malformed field: to the start of the next line.
    void SkipLine() {
        const char* newline = Find('\n', end_);
        p_ = newline == end_ ? end_ : newline + 1;
    }

private:
    // The first `c` from here on before `limit`, else `limit`.
    const char* Find(char c, const char* limit) const {
        const void* at = std::memchr(p_, c, static_cast<std::size_t>(limit - p_));
        return at == nullptr ? limit : static_cast<const char*>(at);
    }

    // From an opening quote past its closing one.
    void SkipQuoted() {
        ++p_;
        for (;;) {
            const char* quote = Find('"', end_);
            p_ = quote == end_ ? end_ : quote + 1;
            if (p_ == end_ || *p_ != '"') return;
            ++p_;
        }
    }

    bool Delimiter(bool& lineEnded) {
        if (p_ == end_) {
            lineEnded = true;
            return true;
        }
        if (*p_ == ',') {
            ++p_;
            lineEnded = false;
            return true;
        }
        if (*p_ == '\r' && p_ + 1 != end_ && p_[1] == '\n') ++p_;
        if (*p_ == '\n') {
            ++p_;
            lineEnded = true;
            return true;
        }
        return false;
    }

    const char* p_;
    const char* end_;
};

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::size_t Registry::AddCsv(std::string_view text) {
    std::size_t added = 0;
    AddCsvPiece(text, true, &added);
    return added;
}

std::size_t Registry::AddCsvPiece(std::string_view text, bool last, std::size_t* added) {
    const std::size_t before = entries_.size();
    CsvReader csv(text);
    std::string registry, assignment, name;
    std::size_t taken = 0;
    while (!csv.AtEnd()) {
        bool ended = false;
        const bool read = csv.Field(registry, ended) && !ended && csv.Field(assignment, ended) && !ended &&
                          csv.Field(name, ended);
        if (!read && !ended) csv.SkipLine();  // malformed here: the rest of its line goes
        if (read && !ended) csv.SkipRecord();
        // A record cut off by the piece's end comes again with the next one.
        const std::size_t end = csv.Offset(text);
        if (!last && (end == 0 || text[end - 1] != '\n')) break;
        taken = end;
        if (!read) continue;
        const int bits = BitsOf(registry);
        const std::string_view shown = Trimmed(name);
        if (bits == 0 || assignment.size() * 4 != static_cast<std::size_t>(bits) || shown.empty() ||
            shown.find_first_of("\r\n") != std::string_view::npos) {
            continue;
        }
        std::uint64_t prefix = 0;
        bool hex = true;
        for (const char c : assignment) {
            const int digit = HexValue(c);
            hex = hex && digit >= 0;
            prefix = prefix << 4 | static_cast<std::uint64_t>(digit & 0x0F);
        }
        if (hex) Insert(KeyOf(prefix, bits), shown);
    }
    if (added != nullptr) *added = entries_.size() - before;
    return last ? text.size() : taken;
}

std::optional<std::string_view> Registry::Find(const HardwareAddress& address) const {
    if (entries_.empty()) return std::nullopt;
    std::uint64_t whole = 0;
    for (const std::uint8_t octet : address.octets) whole = whole << 8 | octet;
    for (const int bits : kPrefixBits) {
        const std::uint64_t slot = slots_[Probe(KeyOf(whole >> (48 - bits), bits))];
        if (slot != 0) {
            const Name& name = entries_[(slot & ((1u << kIndexBits) - 1)) - 1];
            return std::string_view(names_).substr(name.at, name.length);
        }
    }
    return std::nullopt;
}

std::uint64_t Registry::Probe(std::uint64_t key) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = FirstSlot(key, mask);
    while (slots_[at] != 0 && slots_[at] >> kIndexBits != key) at = (at + 1) & mask;
    return at;
}

void Registry::Insert(std::uint64_t key, std::string_view name) {
    if (entries_.size() + 1 >= (1u << kIndexBits)) return;
    if ((entries_.size() + 1) * 4 > slots_.size() * 3) Grow();
    const std::uint64_t at = Probe(key);
    if (slots_[at] != 0) return;
    entries_.push_back({static_cast<std::uint32_t>(names_.size()), static_cast<std::uint32_t>(name.size())});
    names_.append(name);
    slots_[at] = key << kIndexBits | entries_.size();
}

void Registry::Grow() {
    std::vector<std::uint64_t> old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
    old.swap(slots_);
    for (const std::uint64_t slot : old) {
        if (slot != 0) slots_[Probe(slot >> kIndexBits)] = slot;
    }
}

}  // namespace melvorin::units
