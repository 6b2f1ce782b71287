#pragma once

// Bytes that hold a key, or a frame that carries one. Their storage is
// overwritten with zeros whenever it is given back: when they end, and when
// they grow (the bytes move to larger storage), so that memory given back
// holds no copy of the key. wipe_posix.cpp and wipe_windows.cpp wipe.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/bytes.h"

namespace melvorin {

// Overwrites `size` bytes at `data` with zeros, in a way no compiler leaves
// out.
void WipeBytes(void* data, std::size_t size);

template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        WipeBytes(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
};

using SecretBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

// A working copy of a secret that a library call takes (a std::string, say):
// wiped when it goes, thrown past or not. Its storage must not have grown.
template <class Buffer>
struct Scratch {
    Buffer data;
    ~Scratch() { WipeBytes(data.data(), data.size() * sizeof(*data.data())); }
};

}  // namespace melvorin
