// Fuzz target of the window program's command line: the quote rule (StripQuotes) and the end of
// the program name on a Windows command line (SkipProgramName), both portable.
//
// The input is read three ways: as bytes (a POSIX text), as the same bytes widened one to one
// (so both quote rules can be compared), and as UTF-16 code units, two bytes each (any Windows
// text, unpaired surrogates and NULs included).
//
// What must hold: the quote rule removes every double quote from a text that starts with one and
// leaves any other text alone, alike for bytes and wide text; what follows the program name is
// the end of the command line, never starting with a blank; a program name, plain or quoted
// (blanks and all), followed by blanks and any rest leaves exactly that rest without its
// leading blanks; a path in double quotes after any program name reaches the program whole,
// its own blanks included; POSIX arguments are joined with single blanks.

#include "CommandLine.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quorvel;

template <class Char> std::basic_string<Char> WithoutQuotes(std::basic_string_view<Char> s) {
    std::basic_string<Char> out(s);
    std::erase(out, static_cast<Char>('"'));
    return out;
}

template <class Char> void CheckQuoteRule(std::basic_string_view<Char> s) {
    const std::basic_string<Char> stripped = StripQuotes(s);
    if (s.starts_with(static_cast<Char>('"')))
        FUZZ_CHECK(stripped == WithoutQuotes(s));
    else
        FUZZ_CHECK(stripped == s);
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring_view TrimLeadingBlanks(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

void CheckProgramName(std::wstring_view line) {
    const std::wstring_view rest = SkipProgramName(line);
    FUZZ_CHECK(rest.data() + rest.size() == line.data() + line.size());
    FUZZ_CHECK(rest.size() <= line.size());
    FUZZ_CHECK(rest.empty() || !IsBlank(rest.front()));

    // `line` as what follows a program name, plain or quoted.
    const std::wstring plainName = L"quorvel.exe";
    const std::wstring quotedName = L"\"C:\\Program Files\\Quorvel\\quorvel.exe\"";
    for (const std::wstring& name : {plainName, quotedName}) {
        for (const std::wstring_view blanks : {L" ", L"\t \t"}) {
            const std::wstring full = name + std::wstring(blanks) + std::wstring(line);
            FUZZ_CHECK(SkipProgramName(full) == TrimLeadingBlanks(line));
        }
    }
    // `line` as a quoted path: the quote rule gives it back whole.
    const std::wstring path = WithoutQuotes(line);
    const std::wstring full = quotedName + L" \"" + path + L"\"";
    FUZZ_CHECK(StripQuotes(SkipProgramName(full)) == path);
    // An unclosed quote runs to the end: the whole line is the program name.
    FUZZ_CHECK(SkipProgramName(L"\"" + path).empty());
}

void CheckPosixJoin(std::string_view bytes) {
#ifndef _WIN32
    std::vector<std::string> arguments{"quorvel"};
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        arguments.emplace_back(bytes.substr(start, end - start));
        if (end == bytes.size())
            break;
        start = end + 1;
    }
    std::vector<char*> argv;
    std::string joined;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
        if (argv.size() > 2)
            joined += ' ';
        if (argv.size() > 1)
            joined += argument;
    }
    argv.push_back(nullptr);
    FUZZ_CHECK(CommandLineText(static_cast<int>(arguments.size()), argv.data()) == joined);
#else
    (void)bytes;
#endif
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring widened(bytes.begin(), bytes.end());
    std::wstring utf16;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        utf16.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));

    CheckQuoteRule(bytes);
    CheckQuoteRule(std::wstring_view(widened));
    CheckQuoteRule(std::wstring_view(utf16));
    const std::wstring wideStripped = StripQuotes(std::wstring_view(widened));
    FUZZ_CHECK(std::ranges::equal(StripQuotes(bytes), wideStripped, {},
                                  [](char c) { return static_cast<wchar_t>(c); }));

    CheckProgramName(widened);
    CheckProgramName(utf16);
    CheckPosixJoin(bytes);
    return 0;
}
