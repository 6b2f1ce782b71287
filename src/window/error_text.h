#pragma once

#include <string>

namespace melvorin::window {

// The text the error box shows for a failure's message (UTF-8): a "." is
// added unless the message is empty or its last character is at or below
// "." (0x2E), so "Range check error" gets its full stop while a message
// ending in ".", "!", ")", "%" or a blank is kept as it is.
std::string ErrorText(const std::string& message);

}  // namespace melvorin::window
