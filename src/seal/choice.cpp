#include "seal/choice.h"

#include <cctype>

#include "seal/label_code.h"

namespace melvorin::seal {

namespace {

std::string Bare(const std::string& code) {
    std::string bare;
    for (const char c : code) {
        if (c == '-' || c == ' ' || c == '\t') continue;
        bare += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return bare;
}

}  // namespace

bool SameLabelCode(const std::string& a, const std::string& b) {
    const std::string bareA = Bare(a);
    return !bareA.empty() && bareA == Bare(b);
}

SealDecision DecideSeal(const std::optional<Advert>& offer, const std::optional<Bytes>& pinned,
                        const std::optional<std::string>& code, bool requireSeal) {
    if (code) {
        if (!offer || !SameLabelCode(*code, LabelCode(offer->public_key))) return {SealChoice::CodeMismatch, false};
        return {SealChoice::Sealed, !pinned || *pinned != offer->public_key};
    }
    if (pinned) {
        if (!offer || *pinned != offer->public_key) return {SealChoice::DowngradeRefused, false};
        return {SealChoice::Sealed, false};
    }
    if (offer) return {SealChoice::Sealed, true};
    return {requireSeal ? SealChoice::NotSealed : SealChoice::Clear, false};
}

}  // namespace melvorin::seal
