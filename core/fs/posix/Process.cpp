// The process on POSIX systems: arguments as the shell split them, resource limits.
#include "System.h"

#include <sys/resource.h>

namespace quorvel {

std::vector<NativeString> ProcessArguments(int argc, char** argv) {
    std::vector<NativeString> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}

std::optional<NativeString> RawCommandLine() {
    return std::nullopt;
}

std::size_t OpenFileLimit() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 0;
    if (files.rlim_cur == RLIM_INFINITY)
        return kUnlimitedFiles;
    return static_cast<std::size_t>(files.rlim_cur);
}

void RaiseOpenFileLimit() {
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

std::FILE* OpenTextFileForWriting(const std::filesystem::path& path) {
    return std::fopen(path.c_str(), "w");
}

} // namespace quorvel
