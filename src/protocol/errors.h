#pragma once

#include <algorithm>
#include <cstddef>
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

// The kind and message of an error, as OnUDPException and the logs get them.
struct TErrorInfo {
    std::string Kind;
    std::string Message;
    // "Kind: Message".
    std::string Text() const { return Kind + ": " + Message; }
};

// The error being handled; call only inside a catch block. Errors that are
// not of this program's kinds count as "Exception".
TErrorInfo CurrentError();

// A text fixed at compile time: a kind's name or its fixed message.
template <std::size_t N>
struct TErrorText {
    // Not explicit: a template argument is written as a plain string literal.
    constexpr TErrorText(const char (&text)[N]) { std::copy_n(text, N, chars); }
    char chars[N];
};

// An error kind: `Base` under the name `Name`, with Base's constructors.
template <TErrorText Name, class Base = Exception>
class TErrorKind : public Base {
public:
    using Base::Base;
    const char* ClassName() const noexcept override { return Name.chars; }
};

// An error kind whose message never changes.
template <TErrorText Name, TErrorText Text, class Base = Exception>
class TFixedError : public TErrorKind<Name, Base> {
public:
    TFixedError() : TErrorKind<Name, Base>(Text.chars) {}
};

// A text that is not an integer: "'%s' is not a valid integer value".
class EConvertError : public TErrorKind<"EConvertError"> {
public:
    using TErrorKind::TErrorKind;
    static EConvertError NotAnInteger(const std::string& text);
};

// A value outside its range.
using ERangeError = TFixedError<"ERangeError", "Range check error">;

// Text that code page 936 cannot hold (for instance a pasted key with C1
// control characters): sending a substitute byte would send a wrong key.
using EEncodingError = TErrorKind<"EEncodingError">;

}  // namespace melvorin
