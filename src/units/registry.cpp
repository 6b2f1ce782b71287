#include "units/registry.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>


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

// The first `a` or `b` from `p` on before `end`, else `end`: sixteen bytes
// at a time, as the fields to pass over are tens of bytes long. Bytes that
// match compare to all ones; the lowest such byte of the two halves is the
// first match.
const char* FindEither(const char* p, const char* end, char a, char b) {
    if constexpr (std::endian::native == std::endian::little) {
        using Bytes = char __attribute__((vector_size(16)));
        using Words = std::uint64_t __attribute__((vector_size(16)));
        for (; end - p >= 16; p += 16) {
            Bytes bytes;
            std::memcpy(&bytes, p, 16);
            const Words hit = reinterpret_cast<Words>((bytes == a) | (bytes == b));
            if (hit[0] != 0) return p + std::countr_zero(hit[0]) / 8;
            if (hit[1] != 0) return p + 8 + std::countr_zero(hit[1]) / 8;
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
    // Whether a quoted field went on to the text's end without its closing
    // quote: the text may have been cut inside it.
    bool RanOut() const { return ranOut_; }
    const char* Here() const { return p_; }
    void MoveTo(const char* p) { p_ = p; }
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
                    ranOut_ = true;
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
                out = doubled ? std::string_view(scratch)
                              : std::string_view(start, static_cast<std::size_t>(quote - start));
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
            ranOut_ = ranOut_ || quote == end_;
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
    bool ranOut_ = false;
};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool HasLineBreak(std::string_view text) {
    return FindEither(text.data(), text.data() + text.size(), '\r', '\n') != text.data() + text.size();
}

// The number that hexadecimal `digits` spell; nothing when one is not one.
std::optional<std::uint64_t> PrefixOf(std::string_view digits) {
    std::uint64_t prefix = 0;
    unsigned none = 0;
    for (const char c : digits) {
        const std::uint8_t digit = kHexValues[static_cast<unsigned char>(c)];
        none |= digit;
        prefix = prefix << 4 | (digit & 0x0Fu);
    }
    if (none & 16) return std::nullopt;
    return prefix;
}

// An assignment read from one record of the most common shape.
struct Assignment {
    std::uint64_t key;
    std::string_view name;
    const char* next;  // the next record's start
};

// The record at `p` when it has the shape nearly all records of the IEEE
// files have and is a well-formed assignment: a registry and prefix without
// quotes, a name quoted without doubled quotes or not quoted, and an address
// on the same line that is one quoted field or holds no quote. Anything
// else, and a record the text's end cuts off, gives nothing, and the record
// is read field by field; so both ways agree on every record this takes.
std::optional<Assignment> CommonRecord(const char* p, const char* end) {
    if (end - p < 16) return std::nullopt;
    int bits = 0;
    if (std::memcmp(p, "MA-", 3) == 0 && p[4] == ',') {
        bits = p[3] == 'L' ? 24 : p[3] == 'M' ? 28 : p[3] == 'S' ? 36 : 0;
        p += 5;
    } else if (std::memcmp(p, "IAB,", 4) == 0) {
        bits = 36;
        p += 4;
    }
    const std::size_t digits = static_cast<std::size_t>(bits / 4);
    if (bits == 0 || p[digits] != ',') return std::nullopt;
    const std::optional<std::uint64_t> prefix = PrefixOf(std::string_view(p, digits));
    if (!prefix) return std::nullopt;
    p += digits + 1;

    std::string_view name;
    if (*p == '"') {
        const char* quote = FindEither(p + 1, end, '"', '\n');
        if (end - quote < 2 || *quote != '"' || quote[1] != ',') return std::nullopt;
        name = std::string_view(p + 1, static_cast<std::size_t>(quote - p - 1));
        p = quote + 2;
    } else {
        const char* comma = FindEither(p, end, ',', '\n');
        if (comma == end || *comma != ',') return std::nullopt;
        name = std::string_view(p, static_cast<std::size_t>(comma - p));
        p = comma + 1;
    }
    name = Trimmed(name);
    if (name.empty() || HasLineBreak(name) || p == end) return std::nullopt;

    if (*p == '"') {
        const void* quote = std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1));
        if (quote == nullptr) return std::nullopt;
        p = static_cast<const char*>(quote) + 1;
        if (end - p >= 1 && *p == '\n') return Assignment{KeyOf(*prefix, bits), name, p + 1};
        if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') return Assignment{KeyOf(*prefix, bits), name, p + 2};
        return std::nullopt;
    }
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (newline == nullptr || std::memchr(p, '"', static_cast<std::size_t>(newline - p)) != nullptr) {
        return std::nullopt;
    }
    return Assignment{KeyOf(*prefix, bits), name, newline + 1};
}

}  // namespace

std::size_t Registry::AddCsv(std::string_view text) {
    std::size_t added = 0;
    AddCsvPiece(text, true, &added);
    return added;
}

std::size_t Registry::AddCsvPiece(std::string_view text, bool last, std::size_t* added) {
    const std::size_t before = size_;
    CsvReader csv(text);
    // A name goes into `names_` as soon as it is read, its key into its slot
    // some records later: the slot is fetched into the cache meanwhile. Keys
    // go in in the order they were read, so that the first name still wins.
    constexpr std::size_t kAhead = 8;
    std::array<std::uint64_t, kAhead> keys{}, ats{};
    std::size_t read = 0;
    std::string scratch[3];
    std::size_t taken = 0;
    while (!csv.AtEnd()) {
        std::uint64_t key = 0;
        std::string_view name;
        const std::optional<Assignment> common =
            fieldByField_ ? std::nullopt : CommonRecord(csv.Here(), text.data() + text.size());
        if (common) {
            csv.MoveTo(common->next);
            key = common->key;
            name = common->name;
        } else {
            std::string_view registry, assignment;
            bool ended = false;
            const bool whole = csv.Field(registry, scratch[0], ended) && !ended &&
                               csv.Field(assignment, scratch[1], ended) && !ended &&
                               csv.Field(name, scratch[2], ended);
            if (!whole && !ended) csv.SkipLine();  // malformed here: the rest of its line goes
            if (whole && !ended) csv.SkipRecord();
            // A record cut off by the piece's end comes again with the next one.
            const std::size_t end = csv.Offset(text);
            if (!last && (csv.RanOut() || end == 0 || text[end - 1] != '\n')) break;
            taken = end;
            const int bits = whole ? BitsOf(registry) : 0;
            name = Trimmed(name);
            const bool fits = bits != 0 && assignment.size() * 4 == static_cast<std::size_t>(bits);
            const std::optional<std::uint64_t> prefix = fits ? PrefixOf(assignment) : std::nullopt;
            if (!prefix || name.empty() || HasLineBreak(name)) continue;
            key = KeyOf(*prefix, bits);
        }
        taken = csv.Offset(text);
        const std::uint64_t at = AddName(name);
        if (at == 0) continue;
        if (!slots_.empty()) __builtin_prefetch(&slots_[FirstSlot(key, slots_.size() - 1)]);
        const std::size_t turn = read++ % kAhead;
        if (read > kAhead) Place(keys[turn], ats[turn]);
        keys[turn] = key;
        ats[turn] = at;
    }
    for (std::size_t i = read > kAhead ? read - kAhead : 0; i < read; ++i) Place(keys[i % kAhead], ats[i % kAhead]);
    if (added != nullptr) *added = size_ - before;
    return last ? text.size() : taken;
}

std::optional<std::string_view> Registry::Find(const HardwareAddress& address) const {
    if (size_ == 0) return std::nullopt;
    std::uint64_t whole = 0;
    for (const std::uint8_t octet : address.octets) whole = whole << 8 | octet;
    for (const int bits : kPrefixBits) {
        const std::uint64_t slot = slots_[Probe(KeyOf(whole >> (48 - bits), bits))];
        if (slot != 0) {
            const char* at = names_.data() + (slot & ((std::uint64_t{1} << kAtBits) - 1));
            const auto byte = [](char c) { return static_cast<std::size_t>(static_cast<unsigned char>(c)); };
            const std::size_t length = byte(at[0]) | byte(at[1]) << 8;
            return std::string_view(at + 2, length);
        }
    }
    return std::nullopt;
}

void Registry::Reserve(std::size_t bytes) {
    if (size_ != 0) return;
    bytes = std::min(bytes, std::size_t{1} << kAtBits);  // no more names fit
    const std::size_t records = bytes / 90;
    names_.reserve(bytes / 3);
    std::size_t slots = 1024;
    while (slots * 3 < records * 4) slots *= 2;
    slots_.assign(slots, 0);
}

std::uint64_t Registry::Probe(std::uint64_t key) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = FirstSlot(key, mask);
    while (slots_[at] != 0 && slots_[at] >> kAtBits != key) at = (at + 1) & mask;
    return at;
}

std::uint64_t Registry::AddName(std::string_view name) {
    if (name.size() > 0xFFFF || names_.size() + 3 + name.size() >= (std::size_t{1} << kAtBits)) return 0;
    if (names_.empty()) names_.push_back('\0');  // so that no name starts at 0
    const std::uint64_t at = names_.size();
    const char length[] = {static_cast<char>(name.size() & 0xFF), static_cast<char>(name.size() >> 8)};
    names_.insert(names_.end(), length, length + 2);
    names_.insert(names_.end(), name.begin(), name.end());
    return at;
}

void Registry::Place(std::uint64_t key, std::uint64_t at) {
    if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
    std::uint64_t& slot = slots_[Probe(key)];
    if (slot != 0) return;
    slot = key << kAtBits | at;
    ++size_;
}

void Registry::Grow() {
    decltype(slots_) old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
    old.swap(slots_);
    for (const std::uint64_t slot : old) {
        if (slot != 0) slots_[Probe(slot >> kAtBits)] = slot;
    }
}

}  // namespace melvorin::units
