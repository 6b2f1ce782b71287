#include "window/translation_table.h"

#include <cstring>

namespace melvorin::window {

std::string LookUp(const TTranslationTable& table, const char* context, const char* text) {
    for (std::size_t i = 0; i < table.count; ++i) {
        const TTranslationEntry& e = table.entries[i];
        if (std::strcmp(e.context, context) == 0 && std::strcmp(e.source, text) == 0) return e.translation;
    }
    return {};
}

}  // namespace melvorin::window
