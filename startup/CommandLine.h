#pragma once
// CommandLine: the window program's command line as one text.
//
// The program takes at most one argument, the path of one texture file, and wants it as typed:
// the whole text after the program's name, quotes included, so that the quote rule can see
// them, and a path with blanks arriving whole even when the user didn't quote it. On Windows
// that text is the raw command line with the program name skipped. On POSIX the shell has
// already split the line into arguments, so they are joined again with single blanks.
//
// The text stays in the platform's native encoding (bytes on POSIX, UTF-16 on Windows) so that
// it names the file exactly; std::filesystem::path takes either, and the window decodes it only
// for display.

#include "System.h"

#include <string>
#include <string_view>

namespace quorvel {

// The text after the program's name, or empty when there is none. On POSIX argv[1] .. argv[argc
// - 1] joined with single blanks; on Windows argc and argv are ignored and the process's own
// command line is read (RawCommandLine, System.h).
NativeString CommandLineText(int argc, char* argv[]);

// The rest of a Windows command line after its program name and the blanks (spaces, tabs) that
// follow it. The program name ends where the C run-time ends argv[0]: at the first blank that
// is not between double quotes (each quote toggles; an unclosed one runs to the end). Trailing
// blanks of the rest are kept. Portable, so that it is tested on every platform, in either
// encoding.
std::wstring_view SkipProgramName(std::wstring_view commandLine);
std::string_view SkipProgramName(std::string_view commandLine);

// The quote rule: when s starts with a double quote, every double quote in s is removed;
// otherwise s comes back unchanged, inner quotes and leading or trailing blanks included.
std::string StripQuotes(std::string_view s);
std::wstring StripQuotes(std::wstring_view s);

} // namespace quorvel
