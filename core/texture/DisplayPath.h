#pragma once
// DisplayPath: a native path turned into UTF-8 text for showing to people.
//
// Labels and message boxes need text, while the walk keeps paths native. On POSIX a name is any
// bytes but "/" and NUL, so a folder may hold names that are not valid UTF-8; on Windows a name
// may hold an unpaired UTF-16 surrogate. Such a name must still be shown, not throw, so whatever
// can't be read as Unicode becomes U+FFFD, the replacement character, and the rest is kept as it
// is. The result is for display only: it can't be turned back into the path.

#include <filesystem>
#include <string>

namespace quorvel {

// `path` as valid UTF-8: on POSIX the native bytes with each byte that is not part of a valid
// UTF-8 sequence replaced by U+FFFD; on Windows the UTF-16 text converted, an unpaired
// surrogate becoming U+FFFD. Never throws, except std::bad_alloc.
std::string DisplayPath(const std::filesystem::path& path);

} // namespace quorvel
