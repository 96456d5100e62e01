// The allocator tuning the programs apply at start-up (glibc only): a freed payload-sized block
// stays in the process for the next file instead of being mapped afresh each time.

#include "BufferReuse.h"

#include <cstdlib>
#include <gtest/gtest.h>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#include <malloc.h>
#define QUORVEL_GLIBC_ALLOCATOR 1
#endif

namespace quorvel {
namespace {

// Guards against the tuning compiling to nothing (the test of the C library made before any of
// its headers was seen): a 4 MiB block, far above glibc's default threshold of 128 KiB, then
// comes from the heap, not from a mapping of its own.
TEST(KeepFreedBuffersForReuse, TakesPayloadSizedBlocksFromTheHeap) {
#ifdef QUORVEL_GLIBC_ALLOCATOR
    KeepFreedBuffersForReuse();
    const std::size_t mappedBefore = mallinfo2().hblks;
    void* block = std::malloc(4 * 1024 * 1024);
    ASSERT_NE(block, nullptr);
    const std::size_t mappedWith = mallinfo2().hblks;
    std::free(block);
    EXPECT_EQ(mappedWith, mappedBefore);
#else
    GTEST_SKIP() << "the system's own allocator";
#endif
}

} // namespace
} // namespace quorvel
