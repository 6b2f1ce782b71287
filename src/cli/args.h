#pragma once

// Walks a program's arguments: "--name value", "--name=value" and flags.
// Header only, so the simulated device's command line reads its arguments
// the same way without linking the command-line tool.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace melvorin::cli {

// An argument for a message, as TArgCursor::Shown() tells; `index` counts
// from 0.
inline std::string ShownArgument(const std::string& arg, std::size_t index) {
    if (arg.size() < 2 || arg[0] != '-') return std::to_string(index + 1);
    // In steps: GCC 12 warns falsely on "\"" + ... at -O3.
    std::string shown(1, '"');
    shown.append(arg, 0, arg.find('='));
    shown += '"';
    return shown;
}

// `Error` is the program's usage error, made from a message.
template <class Error>
class TArgCursor {
public:
    // Starts before `args[first]`.
    TArgCursor(const std::vector<std::string>& args, std::size_t first) : args_(args), next_(first) {}

    // Moves to the next argument; false past the last one.
    bool Next() {
        if (next_ >= args_.size()) return false;
        i_ = next_++;
        name_ = args_[i_];
        inline_.reset();
        if (name_.rfind("--", 0) == 0) {
            const std::size_t eq = name_.find('=');
            if (eq != std::string::npos) {
                inline_ = name_.substr(eq + 1);
                name_.resize(eq);
            }
        }
        return true;
    }
    // The option's name, without an "=value" part.
    const std::string& Name() const { return name_; }
    // The argument as given.
    const std::string& Raw() const { return args_[i_]; }
    // The argument for a message, never with a value that may be a secret:
    // an option by its name, quoted ("--passphrase" of "--passphrase=..."),
    // any other word by its place (3 for the third argument).
    std::string Shown() const { return ShownArgument(Raw(), i_); }
    // The option's value: after its '=' or the next argument.
    std::string Value() {
        if (inline_) return *inline_;
        if (next_ >= args_.size()) throw Error(name_ + " needs a value");
        return args_[next_++];
    }
    // For an option that takes no value.
    void Flag() const {
        if (inline_) throw Error(name_ + " takes no value");
    }

private:
    const std::vector<std::string>& args_;
    std::size_t next_;
    std::size_t i_ = 0;
    std::string name_;
    std::optional<std::string> inline_;
};

}  // namespace melvorin::cli
