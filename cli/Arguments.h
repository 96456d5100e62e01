#pragma once
// The batch command's arguments as CLI11 takes them, and back to paths.
//
// On POSIX the arguments are argv's bytes, passed on as they are. On Windows argv holds the
// command line converted to the ANSI code page, where a name outside it arrives as "?"; the
// arguments are therefore taken from the process's UTF-16 command line, split by the system's
// rules (CommandLineToArgvW), and handed to CLI11 as UTF-8. A path argument is turned back into
// a path from UTF-8 there, so any file name survives the round trip.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The program's arguments, argv[0] included. On Windows argc and argv are ignored.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A path given as an argument from ProgramArguments: UTF-8 on Windows, bytes on POSIX.
std::filesystem::path PathFromArgument(std::string_view argument);

// UTF-16 to UTF-8 and back; unpaired surrogates and invalid bytes become U+FFFD. Portable, so
// that it is tested on every platform.
std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view text);

} // namespace quorvel
