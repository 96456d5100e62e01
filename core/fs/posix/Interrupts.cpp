// The interrupt handlers of POSIX systems: signals.
#include "InterruptCleanup.h"
#include "System.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel {
namespace {

extern "C" void OnInterrupt(int signalNumber) {
    const int savedErrno = errno;
    if ((signalNumber == SIGINT || signalNumber == SIGTERM) && TakeGracefulStop()) {
        errno = savedErrno;
        return;
    }
    RemoveTemporaryFiles();
    // Back to the default action, then raise again: the signal is blocked while the handler
    // runs, so it is delivered once the handler returns and the process ends the way it would
    // have without us.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
    std::raise(signalNumber);
    errno = savedErrno;
}

} // namespace

void InstallInterruptHandlers() {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored under nohup stays ignored.
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        // After a graceful stop the work goes on for a moment; calls the signal interrupted
        // resume instead of failing with EINTR.
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
    // Beyond the file size limit (ulimit -f) the kernel would end the process with SIGXFSZ,
    // leaving temporary files behind and saying nothing; ignored, the write fails with EFBIG
    // ("File too large") and the file is reported and left as it was.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool PrepareSignalSafeRemoval(FolderHandle, const std::filesystem::path&, NativeString&) noexcept {
    return true; // unlinkat needs only the folder and the name
}

void RemoveInSignalHandler(FolderHandle folder, const NativeChar* name,
                           const NativeString&) noexcept {
    ::unlinkat(folder, name, 0);
}

} // namespace quorvel
