#pragma once
// A resizable byte array with an explicit lower bound, as the compression component's contract
// is written in terms of bounds. An array either has no storage at all (never sized, or
// emptied) or holds at least one element at indices lowerBound() .. upperBound().

#include "ByteBuffer.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

class ByteArray {
public:
    // No storage.
    ByteArray() = default;
    // Zero-filled elements at indices lower .. upper; throws SubscriptOutOfRange when
    // upper < lower or the bounds don't fit the 32-bit index range.
    ByteArray(std::int32_t lower, std::int32_t upper);
    // Takes over the bytes, first one at index `lower`; an empty buffer gives no storage.
    explicit ByteArray(ByteBuffer bytes, std::int32_t lower = 0);
    // Copies the bytes, first one at index `lower`; an empty vector gives no storage.
    explicit ByteArray(const std::vector<std::uint8_t>& bytes, std::int32_t lower = 0);
    // Elements at indices lower .. upper with unspecified values, for a caller that overwrites
    // all of them at once (a file read); same failures as the zero-filling constructor.
    static ByteArray Uninitialized(std::int32_t lower, std::int32_t upper);

    bool hasStorage() const { return !m_bytes.empty(); }
    // Both bounds are 0 when there is no storage; check hasStorage() to tell the cases apart.
    std::int32_t lowerBound() const { return m_lower; }
    std::int32_t upperBound() const;
    // Number of elements; 0 without storage.
    std::int32_t count() const { return static_cast<std::int32_t>(m_bytes.size()); }

    // Element access by index; throws SubscriptOutOfRange outside the bounds.
    std::uint8_t& at(std::int32_t index);
    std::uint8_t at(std::int32_t index) const;

    // The elements in index order, for block reads, writes and copies.
    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

    // Re-dimensions to lower .. upper. With `preserve`, elements at indices present in both the
    // old and the new bounds keep their values; all other elements are zero.
    void redim(std::int32_t lower, std::int32_t upper, bool preserve);
    // Drops the storage.
    void erase();
    // Hands the bytes over and leaves the array without storage.
    ByteBuffer release();

    friend bool operator==(const ByteArray&, const ByteArray&) = default;

private:
    ByteBuffer m_bytes;
    std::int32_t m_lower = 0;
};

} // namespace quorvel
