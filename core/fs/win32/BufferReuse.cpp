// Memory allocation on Windows: the C run-time's heap keeps freed blocks already.
#include "BufferReuse.h"

namespace quorvel {

void KeepFreedBuffersForReuse() {}

} // namespace quorvel
