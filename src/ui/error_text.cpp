#include "ui/error_text.h"

namespace melvorin::ui {

std::string ErrorText(const std::string& message) {
    if (message.empty()) {
        return message;
    }
    // The first byte of a multi-byte UTF-8 character is 0xC2 or above, and so
    // is every continuation byte: testing the last byte is enough.
    const auto last = static_cast<unsigned char>(message.back());
    if (last <= 0x2E) {
        return message;
    }
    return message + ".";
}

}  // namespace melvorin::ui
