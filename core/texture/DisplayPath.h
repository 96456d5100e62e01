#pragma once
// DisplayPath: how a path is shown to people, the same in every front end (the windows' labels,
// lists and message boxes, the batch command's lines on the console and its messages).
//
// Labels and consoles need text, while the walk keeps paths native. On POSIX a name is any bytes
// but "/" and NUL, so it need not be valid UTF-8; on Windows it may hold an unpaired UTF-16
// surrogate. And a valid name may hold characters that make it show as something else: a newline
// forging a second line, ESC driving a terminal, a bidirectional control turning what follows
// around (U+202E), a line or paragraph separator (U+2028, U+2029). Such a path is shown in double
// quotes with C escapes, every other path as it is, with the system's separator. So nothing in a
// name acts on the terminal or the label, every byte that isn't text shows as itself, and two
// different paths never show alike.
//
// Machine-readable reports take the path's exact text where it has one (PathText) and its native
// bytes where it has none (NativeBytes).

#include <filesystem>
#include <optional>
#include <string>

namespace quorvel {

// `path` as valid UTF-8 text for people. Unchanged (but for '/' shown as the system's separator)
// unless it holds a character to escape or starts with a double quote; then in double quotes,
// with \" and \\ for themselves and these escapes:
//   \n \t \r \e                newline, tab, carriage return, ESC
//   \xHH                       any other C0 control or DEL, and (POSIX) each byte that is not
//                              part of a valid UTF-8 sequence: "\xFF\xFE.ace"
//   \uHHHH                     a C1 control (U+0080..U+009F), a bidirectional control (U+061C,
//                              U+200E, U+200F, U+202A..U+202E, U+2066..U+2069), U+2028, U+2029,
//                              and (Windows) an unpaired surrogate
// Never throws, except std::bad_alloc.
std::string DisplayPath(const std::filesystem::path& path);

// `path`'s exact text in UTF-8, with the system's separator, where it has one: on POSIX when its
// bytes are valid UTF-8, on Windows when it holds no unpaired surrogate. nullopt otherwise.
std::optional<std::string> PathText(const std::filesystem::path& path);

// `path`'s native form, with the system's separator, as bytes: on POSIX the bytes themselves; on
// Windows the UTF-16 code units, little-endian.
std::string NativeBytes(const std::filesystem::path& path);

} // namespace quorvel
