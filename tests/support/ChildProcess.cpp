#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvel::test {
namespace {

struct Nobody {
    uid_t uid = 0;
    gid_t gid = 0;
};

// Looked up before forking: the name service isn't safe to use in the child of a process that
// may have threads.
std::optional<Nobody> FindNobody() {
    const passwd* user = ::getpwnam("nobody");
    if (user == nullptr)
        return std::nullopt;
    Nobody nobody{user->pw_uid, user->pw_gid};
    if (const group* nogroup = ::getgrnam("nogroup"))
        nobody.gid = nogroup->gr_gid;
    return nobody;
}

bool DropTo(const Nobody& nobody) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody.gid) != 0 || ::setuid(nobody.uid) != 0)
        return false;
    // Make sure there is no way back.
    return ::geteuid() == nobody.uid && ::setuid(0) != 0;
}

ChildStatus FromWaitStatus(int status) {
    if (WIFEXITED(status))
        return {ChildStatus::Kind::Exited, WEXITSTATUS(status)};
    return {ChildStatus::Kind::Signalled, WTERMSIG(status)};
}

} // namespace

std::string ChildStatus::describe() const {
    switch (kind) {
    case Kind::Exited:
        return "exited with code " + std::to_string(value);
    case Kind::Signalled:
        return "killed by signal " + std::to_string(value) + " (" + ::strsignal(value) + ")";
    case Kind::TimedOut:
        return "did not end in time and was killed";
    case Kind::ForkFailed:
        return std::string("could not fork: ") + std::strerror(value);
    }
    return "unknown";
}

std::optional<std::string> WhyPrivilegesCannotBeDropped() {
    if (::geteuid() != 0)
        return "not running as root, so the test cannot switch to another user";
    if (!FindNobody())
        return "there is no user 'nobody' to switch to";
    return std::nullopt;
}

ChildProcess::ChildProcess(std::function<int()> body, Privileges privileges) {
    std::optional<Nobody> nobody;
    if (privileges == Privileges::DropToNobody)
        nobody = FindNobody();
    std::fflush(nullptr); // or buffered output would be written twice
    m_pid = ::fork();
    if (m_pid < 0) {
        m_forkError = errno;
        return;
    }
    if (m_pid > 0)
        return;
    if (privileges == Privileges::DropToNobody && (!nobody || !DropTo(*nobody)))
        ::_exit(kChildCannotDropRights);
    int code = kChildThrew;
    try {
        code = body();
    } catch (...) {
    }
    ::_exit(code);
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

ChildStatus ChildProcess::wait(std::chrono::milliseconds limit) {
    if (m_pid < 0)
        return {ChildStatus::Kind::ForkFailed, m_forkError};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return FromWaitStatus(status);
        }
        if (done < 0 && errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(5ms);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return {ChildStatus::Kind::TimedOut, 0};
}

ChildStatus RunInChild(std::function<int()> body, std::chrono::milliseconds limit) {
    return ChildProcess(std::move(body)).wait(limit);
}

ChildStatus RunAsNobody(std::function<int()> body, std::chrono::milliseconds limit) {
    return ChildProcess(std::move(body), ChildProcess::Privileges::DropToNobody).wait(limit);
}

ReadyPipe::ReadyPipe() {
    int ends[2];
    if (::pipe(ends) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    m_read = ends[0];
    m_write = ends[1];
}

ReadyPipe::~ReadyPipe() {
    ::close(m_read);
    ::close(m_write);
}

void ReadyPipe::notify() const noexcept {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_write, &byte, 1);
}

bool ReadyPipe::await(std::chrono::milliseconds limit) const {
    pollfd entry{m_read, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(limit.count()));
    if (ready <= 0 || (entry.revents & POLLIN) == 0)
        return false;
    char byte = 0;
    return ::read(m_read, &byte, 1) == 1;
}

} // namespace quorvel::test
