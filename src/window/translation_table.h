#pragma once

// Translations compiled into the program, for a window without Qt: a table
// generated at build time from translations/melvorin_<language>.ts (the one
// source, edited in Qt Linguist) by tools/ts_table. Only finished
// translations are in it.

#include <cstddef>
#include <string>

namespace melvorin::window {

struct TTranslationEntry {
    const char* context;
    const char* source;
    const char* translation;
};

struct TTranslationTable {
    const TTranslationEntry* entries;
    std::size_t count;
};

// The Chinese table (library melvorin_window_zh).
extern const TTranslationTable kTranslationsZh;

// The translation of `text` in `context`, or an empty string.
std::string LookUp(const TTranslationTable& table, const char* context, const char* text);

}  // namespace melvorin::window
