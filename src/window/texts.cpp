#include "window/texts.h"

#include <vector>

namespace melvorin::window {

namespace {
TTranslator gTranslator = nullptr;
}  // namespace

void SetTranslator(TTranslator translator) { gTranslator = translator; }

std::string Translate(const char* context, const char* text) {
    if (gTranslator != nullptr) {
        std::string translated = gTranslator(context, text);
        if (!translated.empty()) return translated;
    }
    return text;
}

std::string Format(const std::string& pattern, std::initializer_list<std::string> args) {
    const std::vector<std::string> values(args);
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next >= '1' && next <= '9' &&
            static_cast<std::size_t>(next - '1') < values.size()) {
            out += values[static_cast<std::size_t>(next - '1')];
            ++i;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace melvorin::window
