#pragma once

// The IEEE registries' assignments held in memory: prefixes of 24 bits
// (MA-L), 28 (MA-M) and 36 (MA-S, IAB) with their organisation's name, read
// from the registries' CSV files (header "Registry,Assignment,Organization
// Name,Organization Address", fields quoted where they hold commas, quotes
// doubled inside, line breaks inside quoted addresses).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "units/hardware_address.h"
#include "units/system.h"

namespace melvorin::units {

class Registry {
public:
    // Adds every well-formed assignment of one CSV file's text: its registry
    // (MA-L, MA-M, MA-S or IAB) with a prefix of 6, 7 or 9 hexadecimal digits
    // to match, and a name (spaces and tabs around it dropped). Other lines
    // (the header too) are skipped; a prefix already held keeps its first
    // name. A name over 65 535 bytes is not held, nor any beyond the first
    // 64 MiB of names, nor any assignment beyond the first 3 Mi (the slots'
    // cap, 32 MiB). Returns how many assignments were added.
    std::size_t AddCsv(std::string_view text);

    // The same for a file read in pieces: adds the records that `text` holds
    // whole and returns how many bytes they take; the rest is to come again
    // at the start of the next piece. With `last`, everything is taken.
    std::size_t AddCsvPiece(std::string_view text, bool last, std::size_t* added = nullptr);

    // Makes room for the assignments of CSV files of `bytes` bytes together
    // (a record of the IEEE files takes some 90 bytes, a quarter of it the
    // name), so that adding them seldom has to grow the table. Only before
    // anything is added.
    void Reserve(std::size_t bytes);

    // Where the names added next will start; DropFrom() takes it.
    std::size_t NamesHeld() const { return names_.size(); }
    // Drops the assignments added since NamesHeld() gave `mark`.
    void DropFrom(std::size_t mark);

    // The name of the longest prefix that `address` starts with.
    std::optional<std::string_view> Find(const HardwareAddress& address) const;

    std::size_t Size() const { return size_; }

    // For tests: every record is read field by field, as records of an
    // uncommon shape are, instead of most of them in one go.
    void ReadEveryRecordFieldByField() { fieldByField_ = true; }

private:
    // A slot holds a prefix's key (its bits and its length's code, 38 bits)
    // above where its name starts in `names_`, so that a probe reads one
    // word; 0 is free (no name starts at 0). A name is held as its length in
    // two bytes, then its bytes.
    static constexpr int kAtBits = 26;
    static constexpr std::size_t kMaxSlots = std::size_t{1} << 22;
    std::uint64_t Probe(std::uint64_t key) const;  // the slot's number
    // Appends a name, giving where it starts; 0 when no more fit.
    std::uint64_t AddName(std::string_view name);
    // Puts a key with its name in a free slot, unless the key is held.
    void Place(std::uint64_t key, std::uint64_t at);
    void Grow();

    bool fieldByField_ = false;
    std::size_t size_ = 0;
    std::vector<std::uint64_t, sys::TableAllocator<std::uint64_t>> slots_;
    std::vector<char, sys::TableAllocator<char>> names_;
};

}  // namespace melvorin::units
