// Memory allocation on POSIX systems: glibc is told to keep freed buffers.
#include "BufferReuse.h"

// Any C library header defines __GLIBC__; without one the test below is always false and the
// tuning silently never happens.
#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quorvel {

void KeepFreedBuffersForReuse() {
#ifdef __GLIBC__
    // Blocks up to 32 MiB (glibc's largest allowed threshold) come from the heap rather than
    // from a mapping of their own, and up to 256 MiB of free heap is kept rather than trimmed.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

} // namespace quorvel
