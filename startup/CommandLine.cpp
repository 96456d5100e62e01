#include "CommandLine.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorvel {

namespace {

// s without any double quote, or s itself when it doesn't start with one.
template <class Char> std::basic_string<Char> StripQuotesImpl(std::basic_string_view<Char> s) {
    constexpr Char Quote = static_cast<Char>('"');
    if (s.empty() || s.front() != Quote)
        return std::basic_string<Char>(s);
    std::basic_string<Char> unquoted;
    unquoted.reserve(s.size());
    for (const Char c : s) {
        if (c != Quote)
            unquoted.push_back(c);
    }
    return unquoted;
}

constexpr bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

} // namespace

NativeString CommandLineText([[maybe_unused]] int argc, [[maybe_unused]] char* argv[]) {
#ifdef _WIN32
    return NativeString(SkipProgramName(GetCommandLineW()));
#else
    NativeString text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
#endif
}

std::wstring_view SkipProgramName(std::wstring_view commandLine) {
    std::size_t pos = 0;
    bool inQuotes = false;
    for (; pos < commandLine.size(); ++pos) {
        if (commandLine[pos] == L'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && IsBlank(commandLine[pos]))
            break;
    }
    while (pos < commandLine.size() && IsBlank(commandLine[pos]))
        ++pos;
    return commandLine.substr(pos);
}

std::string StripQuotes(std::string_view s) {
    return StripQuotesImpl(s);
}

std::wstring StripQuotes(std::wstring_view s) {
    return StripQuotesImpl(s);
}

} // namespace quorvel
