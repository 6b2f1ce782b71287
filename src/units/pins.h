#pragma once

// Which unit holds which key: the public key a unit offered its sealed join
// with, pinned to its hardware address the first time it was seen. A pinned
// unit must offer the same key again; one that answers without the seal, or
// with another key, is refused the key.
//
// The pins are one file of lines, "MAC KEY" (the hardware address as
// "24:6f:28:00:00:01", the key in hexadecimal), appended under the file's
// lock: the last line of an address holds. "MAC -" forgets it. A symbolic
// link is never followed.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace melvorin::units {

class PinError : public std::runtime_error {
public:
    explicit PinError(const std::string& message) : std::runtime_error(message) {}
};

using PinnedKey = std::vector<unsigned char>;

class PinStore {
public:
    // The store's file: "pins" in the user's state folder
    // ($XDG_STATE_HOME/melvorin, %LOCALAPPDATA%\melvorin). Raises PinError.
    static std::string DefaultPath();

    // Reads `path`; a missing file holds no pins. Lines it cannot read are
    // skipped. Raises PinError ("cannot read the pins \"PATH\": REASON").
    explicit PinStore(std::string path);

    // The key pinned to a hardware address (any case, ':' or '-').
    std::optional<PinnedKey> Find(const std::string& mac) const;
    // Every pin, by hardware address ("24:6f:28:00:00:01").
    const std::map<std::string, PinnedKey>& All() const { return pins_; }

    // Pins `key` to `mac` (making the folder, readable by the user alone,
    // when missing), or forgets `mac`: false when it had no pin. Raise
    // PinError ("cannot write the pins \"PATH\": REASON").
    void Pin(const std::string& mac, const PinnedKey& key);
    bool Forget(const std::string& mac);

    const std::string& Path() const { return path_; }

private:
    void Write(const std::string& line);

    std::string path_;
    std::map<std::string, PinnedKey> pins_;
};

}  // namespace melvorin::units
