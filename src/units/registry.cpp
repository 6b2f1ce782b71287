#include "units/registry.h"

#include <array>
#include <bit>
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

// Each byte's value as a hexadecimal digit, 16 for none.
constexpr auto kHexValues = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(16);
    for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 6; ++i) values['A' + i] = values['a' + i] = static_cast<std::uint8_t>(10 + i);
    return values;
}();

// The prefix's length in bits that a registry assigns, 0 for no registry.
int BitsOf(std::string_view registry) {
    if (registry == "MA-L") return 24;
    if (registry == "MA-M") return 28;
    if (registry == "MA-S" || registry == "IAB") return 36;
    return 0;
}

// The first `a` or `b` from `p` on before `end`, else `end`: eight bytes at a
// time, as the fields to pass over are tens of bytes long.
const char* FindEither(const char* p, const char* end, char a, char b) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
        for (; end - p >= 8; p += 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            // A byte of `x` or `y` is 0 where the byte matches; the lowest
            // high bit set marks the first such byte.
            const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(a));
            const std::uint64_t y = word ^ (kOnes * static_cast<unsigned char>(b));
            const std::uint64_t hit = (((x - kOnes) & ~x) | ((y - kOnes) & ~y)) & kHigh;
            if (hit != 0) return p + std::countr_zero(hit) / 8;
        }
    }
    while (p != end && *p != a && *p != b) ++p;
    return p;
}

// Reads CSV records one field at a time. A field ends at a comma or at the
// end of its line ("\n" or "\r\n"); a quoted one at its closing quote, which
// a comma, the line's end or the text's end must follow.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool AtEnd() const { return p_ == end_; }
    std::size_t Offset(std::string_view text) const { return static_cast<std::size_t>(p_ - text.data()); }

    // The next field of the current record into `out`, or false when the
    // record is malformed there. `out` views the text itself, or `scratch`
    // when the field is quoted and holds doubled quotes to undo. `lineEnded`
    // says whether it was the record's last field.
    bool Field(std::string_view& out, std::string& scratch, bool& lineEnded) {
        lineEnded = false;
        if (p_ != end_ && *p_ == '"') {
            const char* start = ++p_;
            bool doubled = false;
            for (;;) {
                const char* quote = Find('"', end_);
                if (quote == end_) {
                    p_ = end_;
                    return false;
                }
                if (doubled) scratch.append(p_, quote);
                p_ = quote + 1;
                if (p_ != end_ && *p_ == '"') {
                    if (!doubled) scratch.assign(start, p_);  // up to and with the first of the two
                    if (doubled) scratch.push_back('"');
                    doubled = true;
                    ++p_;
                    continue;
                }
                out = doubled ? std::string_view(scratch) : std::string_view(start, static_cast<std::size_t>(quote - start));
                break;
            }
            return Delimiter(lineEnded);
        }
        const char* start = p_;
        p_ = FindEither(p_, end_, ',', '\n');
        out = std::string_view(start, static_cast<std::size_t>(p_ - start));
        if (!out.empty() && out.back() == '\r' && (p_ == end_ || *p_ == '\n')) out.remove_suffix(1);
        return Delimiter(lineEnded);
    }

    // Past the rest of the record, line breaks inside quoted fields included.
    void SkipRecord() {
        while (p_ != end_) {
            if (*p_ == '"') SkipQuoted();
            p_ = FindEither(p_, end_, ',', '\n');
            if (p_ == end_ || *p_++ == '\n') return;
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
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool HasLineBreak(std::string_view text) {
    return FindEither(text.data(), text.data() + text.size(), '\r', '\n') != text.data() + text.size();
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
    // Each assignment goes into the table one record late: its slot is
    // fetched into the cache while the next record is read. The name waiting
    // views the text or one of two scratch strings used in turns.
    std::string scratch[4];
    std::uint64_t waitingKey = 0;
    std::string_view waitingName, registry, assignment, name;
    std::size_t taken = 0;
    for (int turn = 0; !csv.AtEnd();) {
        bool ended = false;
        const bool read = csv.Field(registry, scratch[0], ended) && !ended &&
                          csv.Field(assignment, scratch[1], ended) && !ended &&
                          csv.Field(name, scratch[2 + turn], ended);
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
            HasLineBreak(shown)) {
            continue;
        }
        std::uint64_t prefix = 0;
        unsigned none = 0;
        for (const char c : assignment) {
            const std::uint8_t digit = kHexValues[static_cast<unsigned char>(c)];
            none |= digit;
            prefix = prefix << 4 | (digit & 0x0Fu);
        }
        if (none & 16) continue;
        const std::uint64_t key = KeyOf(prefix, bits);
        if (!slots_.empty()) __builtin_prefetch(&slots_[FirstSlot(key, slots_.size() - 1)]);
        if (!waitingName.empty()) Insert(waitingKey, waitingName);
        waitingKey = key;
        waitingName = shown;
        turn ^= 1;
    }
    if (!waitingName.empty()) Insert(waitingKey, waitingName);
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

void Registry::Reserve(std::size_t bytes) {
    if (!entries_.empty()) return;
    const std::size_t records = bytes / 90;
    entries_.reserve(records);
    names_.reserve(records * 32);
    std::size_t slots = 1024;
    while (slots * 3 < records * 4) slots *= 2;
    slots_.assign(slots, 0);
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
