#pragma once

// The fast field scanner of the IEEE registries' CSV files: records of the
// common shape read in one go, sixteen bytes at a time where the fields are
// long, and a reader field by field for the rest (quoted fields, doubled
// quotes, line breaks inside quotes). Registry keeps what it reads.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace melvorin::units::csv {

// The first `a` or `b` from `p` on before `end`, else `end`.
const char* FindEither(const char* p, const char* end, char a, char b);

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

// `text` without the spaces and tabs around it.
std::string_view Trimmed(std::string_view text);

bool HasLineBreak(std::string_view text);

// The number that hexadecimal `digits` spell; nothing when one is not one.
std::optional<std::uint64_t> PrefixOf(std::string_view digits);

// The prefix's length in bits that a registry assigns, 0 for no registry.
int BitsOf(std::string_view registry);

// An assignment read from one record of the most common shape.
struct Assignment {
    std::uint64_t prefix;
    int bits;
    std::string_view name;
    const char* next;  // the next record's start
};

// The record at `p` when it has the shape nearly all records of the IEEE
// files have and is a well-formed assignment: a registry and prefix without
// quotes, a name quoted without doubled quotes or not quoted, and an address
// on the same line that is one quoted field or holds no quote. Anything
// else, and a record the text's end cuts off, gives nothing, and the record
// is read field by field; so both ways agree on every record this takes.
std::optional<Assignment> CommonRecord(const char* p, const char* end);

}  // namespace melvorin::units::csv
