#include "cli/key_warnings.h"

#include "cli/system.h"
#include "net/local_listeners.h"
#include "protocol/cp936.h"
#include "protocol/errors.h"
#include "protocol/wpa2_key.h"

namespace melvorin::cli {

namespace {

constexpr const char* kWpa2Key = "a WPA2 network takes a key of 8 to 63 bytes, or of 64 hexadecimal digits";

// The key as devices receive it: its code page 936 bytes (UTF-8's for a key
// that page cannot hold, which is refused later).
TIdBytes KeyBytes(const std::string& keyText) {
    try {
        return TextToCp936(keyText);
    } catch (const Exception&) {
        return TIdBytes(keyText.begin(), keyText.end());
    }
}

std::string Bytes(const TIdBytes& key) {
    return std::to_string(key.size()) + (key.size() == 1 ? " byte" : " bytes") +
           " (in code page 936, as devices receive it)";
}

}  // namespace

std::vector<std::string> KeyWarnings(const std::optional<std::string>& keyFile, const std::string& keyText) {
    std::vector<std::string> warnings;
    if (keyFile && *keyFile != "-") {
        const std::string who = sys::ReadableByOthers(*keyFile);
        if (!who.empty()) {
            warnings.push_back("warning: the key file \"" + *keyFile + "\" is readable by other users (" + who +
                               "); keep a key where only you can read it");
        }
    }
    if (const TIdBytes key = KeyBytes(keyText); !IsWpa2KeyBytes(key)) {
        warnings.push_back("warning: the key has " + Bytes(key) + ", and " + kWpa2Key +
                           "; sending it all the same");
    }
    return warnings;
}

std::string KeyFormatHint(const std::string& keyText) {
    const TIdBytes key = KeyBytes(keyText);
    if (IsWpa2KeyBytes(key)) return {};
    return "a device refused the key's format: " + std::string(kWpa2Key) + ", and this key has " + Bytes(key);
}

void RefuseOtherListeners(std::uint16_t port) {
    const std::vector<std::string> owners = net::OtherUsersListening(port);
    if (owners.empty()) return;
    std::string names;
    for (std::size_t i = 0; i < owners.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + owners[i];
    }
    throw net::EOtherListeners("nothing was sent: a program of " + names + " is bound to UDP port " +
                          std::to_string(port) +
                          " on this computer and would receive the join request with the key; stop it, or send"
                          " to each device alone with --unicast");
}

}  // namespace melvorin::cli
