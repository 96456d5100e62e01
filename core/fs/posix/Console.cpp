// Text on a POSIX terminal: the bytes as they are, whatever the stream is.
#include "System.h"

#include <unistd.h>

namespace quorvel {

bool IsTerminal(std::FILE* stream) {
    const int fd = fileno(stream);
    return fd >= 0 && isatty(fd) == 1;
}

bool WriteText(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

} // namespace quorvel
