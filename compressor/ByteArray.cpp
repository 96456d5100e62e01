#include "ByteArray.h"

#include "BrevoraErrors.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace quorvel {
namespace {

std::size_t elementCount(std::int32_t lower, std::int32_t upper) {
    if (upper < lower)
        throw SubscriptOutOfRange("array upper bound below its lower bound");
    return static_cast<std::size_t>(static_cast<std::int64_t>(upper) - lower + 1);
}

} // namespace

ByteArray::ByteArray(std::int32_t lower, std::int32_t upper) : m_lower(lower) {
    m_bytes.assign(elementCount(lower, upper), 0);
}

ByteArray ByteArray::Uninitialized(std::int32_t lower, std::int32_t upper) {
    ByteBuffer bytes;
    bytes.resize(elementCount(lower, upper));
    return ByteArray(std::move(bytes), lower);
}

ByteArray::ByteArray(const std::vector<std::uint8_t>& bytes, std::int32_t lower)
    : ByteArray(ByteBuffer(bytes.begin(), bytes.end()), lower) {}

ByteArray::ByteArray(ByteBuffer bytes, std::int32_t lower)
    : m_bytes(std::move(bytes)), m_lower(lower) {
    if (m_bytes.empty()) {
        m_lower = 0;
        return;
    }
    const std::int64_t upper = static_cast<std::int64_t>(lower) + std::ssize(m_bytes) - 1;
    if (upper > std::numeric_limits<std::int32_t>::max())
        throw SubscriptOutOfRange("array too large for 32-bit indices");
}

std::int32_t ByteArray::upperBound() const {
    // In 64 bits: lower + count overflows 32 bits when the last element is at INT32_MAX.
    return hasStorage() ? static_cast<std::int32_t>(m_lower + std::ssize(m_bytes) - 1) : 0;
}

std::uint8_t& ByteArray::at(std::int32_t index) {
    if (!hasStorage() || index < m_lower || index > upperBound())
        throw SubscriptOutOfRange("array index out of range");
    return m_bytes[static_cast<std::size_t>(index - m_lower)];
}

std::uint8_t ByteArray::at(std::int32_t index) const {
    return const_cast<ByteArray*>(this)->at(index);
}

void ByteArray::redim(std::int32_t lower, std::int32_t upper, bool preserve) {
    const std::size_t newCount = elementCount(lower, upper);
    if (!preserve || !hasStorage()) {
        m_bytes.assign(newCount, 0);
        m_lower = lower;
        return;
    }
    // Copy the overlap of old and new index ranges into a fresh array.
    ByteBuffer resized;
    resized.assign(newCount, 0);
    const std::int32_t from = std::max(lower, m_lower);
    const std::int32_t to = std::min(upper, upperBound());
    if (from <= to)
        std::copy_n(m_bytes.begin() + (from - m_lower), to - from + 1,
                    resized.begin() + (from - lower));
    m_bytes = std::move(resized);
    m_lower = lower;
}

void ByteArray::erase() {
    m_bytes = {};
    m_lower = 0;
}

ByteBuffer ByteArray::release() {
    ByteBuffer out = std::move(m_bytes);
    erase();
    return out;
}

} // namespace quorvel
