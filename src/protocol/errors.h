#pragma once

#include <stdexcept>
#include <string>

namespace melvorin {

// Root of every error this program raises. The message is what the error box
// shows; ClassName() names the kind (for OnUDPException and for tests).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message), message_(message) {}
    // The whole message, also past a zero byte of a quoted text (what() stops
    // at the first one).
    std::string Message() const { return message_; }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

// A text that is not an integer: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    explicit EConvertError(const std::string& message) : Exception(message) {}
    const char* ClassName() const noexcept override { return "EConvertError"; }
    static EConvertError NotAnInteger(const std::string& text);
};

// A value outside its range: "Range check error".
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
    const char* ClassName() const noexcept override { return "ERangeError"; }
};

// Text that code page 936 cannot hold (for instance a pasted key with C1
// control characters): sending a substitute byte would send a wrong key.
class EEncodingError : public Exception {
public:
    explicit EEncodingError(const std::string& message) : Exception(message) {}
    const char* ClassName() const noexcept override { return "EEncodingError"; }
};

}  // namespace melvorin
