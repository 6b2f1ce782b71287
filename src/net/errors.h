#pragma once

#include <string>

#include "protocol/errors.h"

namespace melvorin::net {

class EIdException : public Exception {
public:
    explicit EIdException(const std::string& message) : Exception(message) {}
    const char* ClassName() const noexcept override { return "EIdException"; }
};

// "Socket Error # %d\r\n%s" with a Windows Sockets error number and its text.
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int lastError);
    int LastError() const noexcept { return lastError_; }
    const char* ClassName() const noexcept override { return "EIdSocketError"; }

protected:
    int lastError_;
};

// Socket error 10038.
class EIdNotASocket : public EIdSocketError {
public:
    EIdNotASocket() : EIdSocketError(10038) {}
    const char* ClassName() const noexcept override { return "EIdNotASocket"; }
};

class EIdCouldNotBindSocket : public EIdException {
public:
    EIdCouldNotBindSocket() : EIdException("Could not bind socket. Address and port are already in use.") {}
    const char* ClassName() const noexcept override { return "EIdCouldNotBindSocket"; }
};

class EIdPackageSizeTooBig : public EIdException {
public:
    EIdPackageSizeTooBig() : EIdException("Package Size Too Big.") {}
    const char* ClassName() const noexcept override { return "EIdPackageSizeTooBig"; }
};

class EIdNotAllBytesSent : public EIdException {
public:
    EIdNotAllBytesSent() : EIdException("Not all bytes sent.") {}
    const char* ClassName() const noexcept override { return "EIdNotAllBytesSent"; }
};

class EIdStackInitializationFailed : public EIdException {
public:
    explicit EIdStackInitializationFailed(const std::string& message) : EIdException(message) {}
    const char* ClassName() const noexcept override { return "EIdStackInitializationFailed"; }
};

// The Windows Sockets text of an error number ("" when it has none).
const char* WSAErrorText(int number);
// A failure of the system's socket layer that has no Windows Sockets
// counterpart (WSASYSCALLFAILURE); its text is empty.
inline constexpr int kWSASysCallFailure = 10107;
// The number a failed name lookup reports.
inline constexpr int kWSAHostNotFound = 11001;

// errno mapped by meaning onto the Windows Sockets number; an errno without
// counterpart gives kWSASysCallFailure.
int WSAErrorFromErrno(int err);
// Raises EIdNotASocket for 10038, else EIdSocketError.
[[noreturn]] void RaiseSocketError(int wsaNumber);

}  // namespace melvorin::net
