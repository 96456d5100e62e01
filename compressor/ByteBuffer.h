#pragma once
// A byte vector that can grow without zero-filling, for buffers a file read or zlib is about to
// fill completely.

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorvel {

// Allocates like std::allocator but leaves new elements uninitialised when no value is given.
// Buffers about to be filled by a file read or by zlib then cost no zero-filling first, which
// otherwise takes a few percent of a folder walk's time.
template <class T> class DefaultInitAllocator : public std::allocator<T> {
public:
    template <class U> struct rebind { using other = DefaultInitAllocator<U>; };
    DefaultInitAllocator() noexcept = default;
    template <class U> DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

    template <class U> void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        std::construct_at(p, std::forward<Args>(args)...);
    }
};

// A byte vector whose resize() leaves the new bytes uninitialised; assign(n, 0) zero-fills.
using ByteBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

} // namespace quorvel
