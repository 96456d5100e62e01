#pragma once
// Run-time failures the compression component raises for arguments outside its contract.
// zlib's own failures are never thrown: they come back as a status (see Brevora.h).

#include <stdexcept>

namespace quorvel {

// A size or capacity that doesn't fit a signed 32-bit integer.
class OverflowError : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

// An index or bound outside an array, or an array too small for the requested bounds.
class SubscriptOutOfRange : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

} // namespace quorvel
