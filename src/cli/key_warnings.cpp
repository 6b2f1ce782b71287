#include "cli/key_warnings.h"

#include "cli/system.h"
#include "net/local_listeners.h"
#include "protocol/wpa2_key.h"

namespace melvorin::cli {

namespace {

constexpr const char* kWpa2Key = "a WPA2 network takes a key of 8 to 63 bytes, or of 64 hexadecimal digits";

// The key's length as devices receive it: its code page 936 bytes.
std::string Bytes(const TIdBytes& key) {
    return std::to_string(key.size()) + (key.size() == 1 ? " byte" : " bytes") +
           " (in code page 936, as devices receive it)";
}

}  // namespace

std::vector<std::string> KeyWarnings(const std::optional<std::string>& keyFile, const KeyOwner& key) {
    std::vector<std::string> warnings;
    if (keyFile && *keyFile != "-") {
        const std::string who = sys::ReadableByOthers(*keyFile);
        if (!who.empty()) {
            warnings.push_back("warning: the key file \"" + *keyFile + "\" is readable by other users (" + who +
                               "); keep a key where only you can read it");
        }
    }
    if (!IsWpa2KeyBytes(key.Bytes())) {
        warnings.push_back("warning: the key has " + Bytes(key.Bytes()) + ", and " + kWpa2Key +
                           "; sending it all the same");
    }
    return warnings;
}

std::string KeyFormatHint(const KeyOwner& key) {
    if (IsWpa2KeyBytes(key.Bytes())) return {};
    return "a device refused the key's format: " + std::string(kWpa2Key) + ", and this key has " +
           Bytes(key.Bytes());
}

void RefuseOtherListeners(std::uint16_t port, const std::string& unicastTo) {
    const std::vector<std::string> owners = net::OtherUsersListening(port, unicastTo);
    if (owners.empty()) return;
    std::string names;
    for (std::size_t i = 0; i < owners.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + owners[i];
    }
    if (!unicastTo.empty()) {
        throw net::EOtherListeners("nothing was sent: " + unicastTo + " is this computer, and a program of " + names +
                                   " is bound to UDP port " + std::to_string(port) +
                                   " there and would receive the join request with the key; stop it, or name the"
                                   " device with --device");
    }
    throw net::EOtherListeners("nothing was sent: a program of " + names + " is bound to UDP port " +
                          std::to_string(port) +
                          " on this computer and would receive the join request with the key; stop it, or send"
                          " to each device alone with --unicast");
}

}  // namespace melvorin::cli
