#pragma once
// Running test code in a forked child process, optionally as the unprivileged user nobody.
//
// CI runs as root, which ignores permission bits, so a test of "this user may not write that
// file" runs its body in a child that dropped to nobody/nogroup (setgroups, setgid, setuid).
// The body's int return value becomes the child's exit status; GoogleTest assertions inside
// the body do not reach the parent, so return distinct codes and check them there.
//
//     if (auto reason = WhyPrivilegesCannotBeDropped())
//         GTEST_SKIP() << *reason;
//     const ChildStatus status = RunAsNobody([&] { return Work() ? 0 : 1; });
//     EXPECT_TRUE(status.exitedWith(0)) << status.describe();
//
// Every wait is bounded: a child that runs past its limit is killed and reported as TimedOut.
// The child ends with _exit(), skipping the parent's atexit handlers and static destructors.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvel::test {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kDefaultChildLimit = 60s;

struct ChildStatus {
    enum class Kind { Exited, Signalled, TimedOut, ForkFailed };
    Kind kind = Kind::ForkFailed;
    int value = 0; // exit code, signal number, or errno of the failed fork

    bool exitedWith(int code) const { return kind == Kind::Exited && value == code; }
    bool killedBy(int signalNumber) const {
        return kind == Kind::Signalled && value == signalNumber;
    }
    // "exited with code 3", "killed by signal 15 (Terminated)", ...
    std::string describe() const;
};

// Exit codes the child uses for its own failures.
inline constexpr int kChildThrew = 125;            // the body threw
inline constexpr int kChildCannotDropRights = 126; // setgroups/setgid/setuid failed

// Empty when RunAsNobody can work (running as root, nobody and nogroup exist); otherwise the
// reason, fit for GTEST_SKIP().
std::optional<std::string> WhyPrivilegesCannotBeDropped();

class ChildProcess {
public:
    enum class Privileges { Keep, DropToNobody };

    // Forks and runs `body` in the child.
    explicit ChildProcess(std::function<int()> body, Privileges privileges = Privileges::Keep);
    // Kills and reaps a child still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const noexcept { return m_pid; }

    // Waits at most `limit` for the child to end; kills it after that. Call once.
    ChildStatus wait(std::chrono::milliseconds limit = kDefaultChildLimit);

private:
    pid_t m_pid = -1;
    int m_forkError = 0;
};

ChildStatus RunInChild(std::function<int()> body,
                       std::chrono::milliseconds limit = kDefaultChildLimit);
ChildStatus RunAsNobody(std::function<int()> body,
                        std::chrono::milliseconds limit = kDefaultChildLimit);

// A one-shot "I got here" from child to parent: create it before forking, call notify() in the
// child (async-signal-safe, so a fault-injection hook or signal handler may call it), await()
// in the parent.
class ReadyPipe {
public:
    ReadyPipe();
    ~ReadyPipe();
    ReadyPipe(const ReadyPipe&) = delete;
    ReadyPipe& operator=(const ReadyPipe&) = delete;

    void notify() const noexcept;
    // True once the child notified; false when `limit` passed or the child closed its end.
    bool await(std::chrono::milliseconds limit = kDefaultChildLimit) const;

private:
    int m_read = -1;
    int m_write = -1;
};

} // namespace quorvel::test
