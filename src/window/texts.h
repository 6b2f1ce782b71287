#pragma once

// The texts the windows add around the specified ones, in English here and
// translated by the window that draws them. MLV_TR marks a text for
// extraction (lupdate is told it is `translate`) and looks it up at run time
// through the translator the window installs; without one the English text
// is used.

#include <initializer_list>
#include <string>

#define MLV_TR(context, text) ::melvorin::window::Translate(context, text)

namespace melvorin::window {

// Looks up `text` of `context`; returns the translation (UTF-8), or an empty
// string when there is none.
using TTranslator = std::string (*)(const char* context, const char* text);

// Installed once by the window before the first text is made.
void SetTranslator(TTranslator translator);

// `text` of `context` in the user's language, or as written.
std::string Translate(const char* context, const char* text);

// `pattern` with each "%1".."%9" replaced by the argument of that number, in
// one pass (an argument's own "%2" stays as it is).
std::string Format(const std::string& pattern, std::initializer_list<std::string> args);

}  // namespace melvorin::window
