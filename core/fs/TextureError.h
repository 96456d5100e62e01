#pragma once
// Failure reasons of the texture routine that the operating system has no code for. They travel
// in a std::error_code beside the platform's own codes (std::system_category()), so a caller
// handles both alike: compare against TextureErrc values, or turn any code into words with
// DescribeError().

#include <string>
#include <system_error>

namespace quorvel {

enum class TextureErrc {
    FileTooShort = 1,    // 16 bytes or fewer and not marked compressed: there is no payload
    PayloadTooLarge,     // payload longer than a signed 32-bit size allows
    FileChanged,         // the file was changed, moved or replaced while it was being compressed
    HardLinked,          // the file has other hard links, which a rewrite would separate from it
    NotRegularFile,      // a folder, pipe, device or socket
    InUse,               // another program has the file open for writing, or opened it meanwhile
    CompressedMeanwhile, // another program (a second run) compressed the file meanwhile
    DamagedStream,       // restoring: the compressed head or zlib stream is damaged
    Unexpected,          // a failure the routine has no words for (an unexpected exception)
    Encrypted,           // Windows: the file system encrypts the file (EFS), and the rewritten
                         // file would not be
};

// The category of TextureErrc codes; its name is "quorvel texture".
const std::error_category& TextureCategory() noexcept;

std::error_code make_error_code(TextureErrc reason) noexcept;

// The system's code for a failure a file call reported through errno (SystemError.cpp of the
// system's folder). On POSIX that is errno
// itself; on Windows, where std::system_category() means Win32 codes, the Win32 code for the
// same failure (EACCES is ERROR_ACCESS_DENIED, 5), so its text is the system's own.
std::error_code ErrorFromErrno(int errnoValue) noexcept;

// The calling thread's last system error (errno, through ErrorFromErrno); EIO when errno is 0,
// so a failure is never reported as success.
std::error_code LastError() noexcept;

// One line for any error code (SystemError.cpp of the system's folder): "Error 13: Permission
// denied" for system codes (number and the system's own text; "Error 5: Access is denied" on
// Windows), the plain reason for our own ("File has other hard links").
std::string DescribeError(const std::error_code& error);

} // namespace quorvel

template <> struct std::is_error_code_enum<quorvel::TextureErrc> : std::true_type {};
