// The process on Windows: arguments split from the UTF-16 command line, which is also kept as
// typed; the C run-time's descriptors have no limit to raise.
#include "System.h"

#include <cstdio>
#include <utility>
#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <shellapi.h>

namespace quorvel {

std::vector<NativeString> ProcessArguments(int argc, char** argv) {
    std::vector<NativeString> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i)
            arguments.emplace_back(wide[i]);
        LocalFree(wide);
        return arguments;
    }
    // Without memory for the split line, the run-time's arguments (in the ANSI code page) are
    // the best there is.
    for (int i = 0; i < argc; ++i) {
        const int length = MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
        NativeString argument(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, argv[i], -1, argument.data(), length);
        argument.resize(argument.size() - 1); // the terminating zero
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::optional<NativeString> RawCommandLine() {
    return NativeString(GetCommandLineW());
}

std::size_t OpenFileLimit() {
    return 0;
}

void RaiseOpenFileLimit() {}

std::FILE* OpenTextFileForWriting(const std::filesystem::path& path) {
    return _wfopen(path.c_str(), L"w");
}

} // namespace quorvel
