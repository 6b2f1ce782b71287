#pragma once

// Ownership of one file descriptor (a socket, an eventfd): closed when its
// owner goes, or when another takes its place.

#include <unistd.h>

#include <utility>

namespace melvorin::net {

class TDescriptor {
public:
    TDescriptor() = default;
    explicit TDescriptor(int fd) noexcept : fd_(fd) {}
    ~TDescriptor() { Reset(); }
    TDescriptor(TDescriptor&& other) noexcept : fd_(other.Release()) {}
    TDescriptor& operator=(TDescriptor&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes the descriptor held (if any) and holds `fd` instead.
    void Reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace melvorin::net
