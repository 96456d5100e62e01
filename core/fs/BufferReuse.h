#pragma once
// Memory allocation tuned for rewriting many large files in a row.

namespace quorvel {

// Every texture rewrite allocates and frees a payload-sized buffer or two. By default glibc
// gives blocks of that size back to the system when they are freed and faults fresh, zeroed
// pages in for the next file; with several threads each give-back also interrupts the other
// cores to flush their address translations. This keeps freed memory in the process for reuse,
// which roughly halves the system time of a walk; the peak stays what the largest files in
// flight need. Call once at start-up, before any thread starts. A no-op outside glibc
// (BufferReuse.cpp of the system's folder).
void KeepFreedBuffersForReuse();

} // namespace quorvel
