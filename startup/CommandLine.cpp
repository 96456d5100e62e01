#include "CommandLine.h"

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

template <class Char> constexpr bool IsBlank(Char c) {
    return c == static_cast<Char>(' ') || c == static_cast<Char>('\t');
}

template <class Char>
std::basic_string_view<Char> SkipProgramNameImpl(std::basic_string_view<Char> commandLine) {
    std::size_t pos = 0;
    bool inQuotes = false;
    for (; pos < commandLine.size(); ++pos) {
        if (commandLine[pos] == static_cast<Char>('"'))
            inQuotes = !inQuotes;
        else if (!inQuotes && IsBlank(commandLine[pos]))
            break;
    }
    while (pos < commandLine.size() && IsBlank(commandLine[pos]))
        ++pos;
    return commandLine.substr(pos);
}

} // namespace

NativeString CommandLineText(int argc, char* argv[]) {
    if (const std::optional<NativeString> raw = RawCommandLine())
        return NativeString(SkipProgramName(std::basic_string_view<NativeChar>(*raw)));
    // The shell split the line: the arguments joined again.
    NativeString text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += static_cast<NativeChar>(' ');
        const std::string_view argument(argv[i]);
        text.append(argument.begin(), argument.end());
    }
    return text;
}

std::wstring_view SkipProgramName(std::wstring_view commandLine) {
    return SkipProgramNameImpl(commandLine);
}

std::string_view SkipProgramName(std::string_view commandLine) {
    return SkipProgramNameImpl(commandLine);
}

std::string StripQuotes(std::string_view s) {
    return StripQuotesImpl(s);
}

std::wstring StripQuotes(std::wstring_view s) {
    return StripQuotesImpl(s);
}

} // namespace quorvel
