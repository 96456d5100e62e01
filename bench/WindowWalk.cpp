// quorvel-bench-walk: the window program's folder mode, exactly as the window runs it, without
// windows.
//
// The main window's logic (MainWindow) runs its load handler on a view that answers the folder
// dialog with FOLDER and shows nothing: the walk feeds the rewrite pipeline, the files are
// compressed on all hardware threads (or -j N), and the status lines are formatted after every
// file but shown nowhere. Like the window program it installs the interrupt cleanup first, so an
// interrupt or a write beyond the file size limit (ulimit -f) leaves no temporary file behind.
//
// Prints "bytes-saved failures seconds" on standard output; the failures themselves, and the
// longest time the status line stood still, on standard error.

#include "BufferReuse.h"
#include "InterruptCleanup.h"
#include "MainWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

// Answers the folder dialog and drops every text, as a window never painted would; notes when
// the status line moves.
class NoWindow final : public quorvel::MainWindowView {
public:
    explicit NoWindow(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    void setTitle(const std::string& text) override { m_title = text; }
    void setStatus(const std::string& text) override {
        const auto now = Clock::now();
        m_longestStill = std::max(m_longestStill, now - m_lastMove);
        m_lastMove = now;
        m_status = text;
        ++m_moves;
    }
    void repaintStatus() override {}
    void setStatusDetail(const std::string&) override {}
    void setOkEnabled(bool) override {}
    void focusOk() override {}
    void showNow() override { m_lastMove = Clock::now(); }
    std::filesystem::path pickStartFolder() override { return m_folder; }
    void unloadFolderDialog() override {}
    void showWarning(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void closeWindow() override {}

    // The longest time between the walk's start or a status change and the next change.
    double longestStillMs() const {
        return std::chrono::duration<double, std::milli>(m_longestStill).count();
    }
    long moves() const { return m_moves; }

private:
    std::filesystem::path m_folder;
    std::string m_title;
    std::string m_status;
    Clock::time_point m_lastMove = Clock::now();
    Clock::duration m_longestStill{};
    long m_moves = 0;
};

int Usage() {
    std::fprintf(stderr, "usage: quorvel-bench-walk [-j N] FOLDER\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // As the window program does at start-up.
    quorvel::InstallInterruptCleanup();
    quorvel::KeepFreedBuffersForReuse();

    quorvel::MainWindow::Options options; // jobs 0: one per hardware thread
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-j" && i + 1 < argc)
            options.jobs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (argument.starts_with("-j") && argument.size() > 2)
            options.jobs = static_cast<unsigned>(std::strtoul(argv[i] + 2, nullptr, 10));
        else if (folder == nullptr && !argument.starts_with("-"))
            folder = argv[i];
        else
            return Usage();
    }
    if (folder == nullptr)
        return Usage();

    NoWindow view{std::filesystem::path(folder)};
    quorvel::MainWindow window(view, quorvel::NativeString(), options);
    const auto start = Clock::now();
    window.Form_Load();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fprintf(stderr, "status line: %ld changes, still for at most %.0f ms\n", view.moves(),
                 view.longestStillMs());
    std::printf("%lld %zu %.6f\n", static_cast<long long>(window.totalSaved()),
                window.failureCount(), seconds);
    return window.failureCount() == 0 ? 0 : 1;
}
