#include "units/pins.h"

#include <chrono>
#include <cstddef>
#include <string_view>
#include <utility>

#include "units/hardware_address.h"
#include "units/system.h"

namespace melvorin::units {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::chrono::seconds kLockWait{5};

std::optional<std::string> Canonical(const std::string& mac) {
    const auto address = ParseHardwareAddress(mac);
    if (!address) return std::nullopt;
    return FormatHardwareAddress(*address);
}

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<PinnedKey> FromHex(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0) return std::nullopt;
    PinnedKey key;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const int high = Nibble(text[at]), low = Nibble(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        key.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    return key;
}

std::string ToHex(const PinnedKey& key) {
    std::string text;
    for (const unsigned char byte : key) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string PinStore::DefaultPath() {
    try {
        return sys::InFolder(sys::StateFolder(), "pins");
    } catch (const sys::SystemError& error) {
        throw PinError(std::string("cannot find the pins' folder: ") + error.what());
    }
}

PinStore::PinStore(std::string path) : path_(std::move(path)) {
    const auto file = sys::OpenForReading(path_);
    if (!file) return;  // none pinned yet (or unreadable: Pin() tells)
    std::string text;
    char chunk[4096];
    long got = 0;
    while ((got = sys::ReadSome(*file, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
    sys::CloseFile(*file);
    if (got < 0) throw PinError("cannot read the pins \"" + path_ + "\"");
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) continue;
        const auto mac = Canonical(std::string(line.substr(0, space)));
        if (!mac) continue;
        const std::string_view value = line.substr(space + 1);
        if (value == "-") {
            pins_.erase(*mac);
        } else if (const auto key = FromHex(value)) {
            pins_[*mac] = *key;
        }
    }
}

std::optional<PinnedKey> PinStore::Find(const std::string& mac) const {
    const auto canonical = Canonical(mac);
    if (!canonical) return std::nullopt;
    const auto found = pins_.find(*canonical);
    if (found == pins_.end()) return std::nullopt;
    return found->second;
}

void PinStore::Pin(const std::string& mac, const PinnedKey& key) {
    const auto canonical = Canonical(mac);
    if (!canonical || key.empty()) throw PinError("cannot pin \"" + mac + "\": no hardware address or key");
    Write(*canonical + " " + ToHex(key));
    pins_[*canonical] = key;
}

bool PinStore::Forget(const std::string& mac) {
    const auto canonical = Canonical(mac);
    if (!canonical || pins_.count(*canonical) == 0) return false;
    Write(*canonical + " -");
    pins_.erase(*canonical);
    return true;
}

void PinStore::Write(const std::string& line) {
    std::optional<sys::FileHandle> file;
    try {
        const std::string folder = FolderOf(path_);
        if (!folder.empty()) sys::MakeFolders(folder);
        file = sys::OpenForAppending(path_);
        if (!sys::LockFile(*file, kLockWait, {})) {
            throw sys::SystemError("another program holds it");
        }
        const auto last = sys::LastByte(*file);
        sys::Append(*file, (last && *last != '\n' ? "\n" : "") + line + "\n");
        sys::Sync(*file);
        sys::UnlockFile(*file);
        sys::CloseFile(*file);
    } catch (const sys::SystemError& error) {
        if (file) sys::CloseFile(*file);
        throw PinError("cannot write the pins \"" + path_ + "\": " + error.what());
    }
}

}  // namespace melvorin::units
