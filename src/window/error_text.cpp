#include "window/error_text.h"

namespace melvorin::window {

std::string ErrorText(const std::string& message) {
    if (message.empty()) {
        return message;
    }
    // Every byte of a multi-byte UTF-8 character is 0x80 or above (its first
    // byte 0xC2..0xF4, the continuation bytes 0x80..0xBF): testing the last
    // byte is enough.
    const auto last = static_cast<unsigned char>(message.back());
    if (last <= 0x2E) {
        return message;
    }
    return message + ".";
}

}  // namespace melvorin::window
