#include "units/registry.h"

#include <algorithm>
#include <array>
#include <optional>

#include "units/csv_fields.h"

namespace melvorin::units {

using csv::CsvReader;

namespace {

constexpr int kPrefixBits[] = {36, 28, 24};  // longest first

// The prefix's bits and a code for its length: at most 38 bits.
std::uint64_t KeyOf(std::uint64_t prefix, int bits) {
    return prefix << 2 | static_cast<std::uint64_t>(bits == 24 ? 0 : bits == 28 ? 1 : 2);
}

std::size_t FirstSlot(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask;
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
        const std::optional<csv::Assignment> common =
            fieldByField_ ? std::nullopt : csv::CommonRecord(csv.Here(), text.data() + text.size());
        if (common) {
            csv.MoveTo(common->next);
            key = KeyOf(common->prefix, common->bits);
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
            const int bits = whole ? csv::BitsOf(registry) : 0;
            name = csv::Trimmed(name);
            const bool fits = bits != 0 && assignment.size() * 4 == static_cast<std::size_t>(bits);
            const std::optional<std::uint64_t> prefix = fits ? csv::PrefixOf(assignment) : std::nullopt;
            if (!prefix || name.empty() || csv::HasLineBreak(name)) continue;
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
    while (slots * 3 < records * 4 && slots < kMaxSlots) slots *= 2;
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
    if ((size_ + 1) * 4 > slots_.size() * 3) {
        if (slots_.size() >= kMaxSlots) return;  // full: no more assignments fit
        Grow();
    }
    std::uint64_t& slot = slots_[Probe(key)];
    if (slot != 0) return;
    slot = key << kAtBits | at;
    ++size_;
}

void Registry::DropFrom(std::size_t mark) {
    if (mark >= names_.size()) return;
    decltype(slots_) old(slots_.size(), 0);
    old.swap(slots_);
    size_ = 0;
    for (const std::uint64_t slot : old) {
        if (slot != 0 && (slot & ((std::uint64_t{1} << kAtBits) - 1)) < mark) {
            slots_[Probe(slot >> kAtBits)] = slot;
            ++size_;
        }
    }
    names_.resize(mark);
}

void Registry::Grow() {
    decltype(slots_) old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
    old.swap(slots_);
    for (const std::uint64_t slot : old) {
        if (slot != 0) slots_[Probe(slot >> kAtBits)] = slot;
    }
}

}  // namespace melvorin::units
