// Whether a join goes sealed, in clear, or not at all, from what a unit
// offered in its list reply, the key pinned to it, the label code the user
// gave and whether only sealed joins may go. Both stations decide so; no
// files or sockets here.
#pragma once

#include <optional>
#include <string>

#include "seal/sealed_join.h"

namespace melvorin::seal {

enum class SealChoice {
    Sealed,            // seal to the key offered
    Clear,             // the unit offered no seal and nothing asks for one
    DowngradeRefused,  // pinned, but offered no seal or another key
    NotSealed,         // offered no seal, and only sealed joins may go
    CodeMismatch,      // a label code was given and the key offered is not its
};

struct SealDecision {
    SealChoice choice = SealChoice::Clear;
    // Sealed to a key that is not pinned yet (first sight, or the label code
    // named it): pin it to the unit.
    bool pinNow = false;
};

// `pinned`: the key pinned to the unit's hardware address. `code`: the label
// code the user gave (any case, groups or not). A code decides alone: the
// user read it off the unit, so it overrides a pin.
SealDecision DecideSeal(const std::optional<Advert>& offer, const std::optional<Bytes>& pinned,
                        const std::optional<std::string>& code, bool requireSeal);

// Whether two spellings name one label code: letters in any case, '-' and
// blanks ignored.
bool SameLabelCode(const std::string& a, const std::string& b);

}  // namespace melvorin::seal
