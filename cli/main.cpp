// quorvel-cli: the headless, parallel batch front end over the Qt-free core.
//
// main() parses the command line, installs the Ctrl-C handling, gathers the work (WorkList),
// runs it on the worker threads (BatchRunner) and fans the ordered reports out to the console
// and, when asked, to a JSON report. The exit code says whether everything went well.

#include "Arguments.h"
#include "BatchRunner.h"
#include "BufferReuse.h"
#include "ConsoleReport.h"
#include "DisplayPath.h"
#include "ExitCode.h"
#include "InterruptCleanup.h"
#include "JsonReport.h"
#include "PayloadEngine.h"
#include "System.h"
#include "WorkList.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quorvel;

class FanOut final : public BatchSink {
public:
    explicit FanOut(std::vector<BatchSink*> sinks) : m_sinks(std::move(sinks)) {}
    void OnReport(const FileReport& report) override {
        for (BatchSink* sink : m_sinks)
            sink->OnReport(report);
    }
    void OnProgress(const ProgressSnapshot& snapshot) override {
        for (BatchSink* sink : m_sinks)
            sink->OnProgress(snapshot);
    }

private:
    std::vector<BatchSink*> m_sinks;
};

int Exit(ExitCode code) {
    return static_cast<int>(code);
}

unsigned DefaultJobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

} // namespace

int main(int argc, char** argv) {
    quorvel::KeepFreedBuffersForReuse();
    CLI::App app{"Compresses .ACE texture files in place and reports the bytes saved.\n"
                 "Each PATH is a file (compressed whatever its name) or a folder (walked: every\n"
                 "file ending in .ace, in any case, that is not read-only; links inside the tree\n"
                 "are not followed). Files already compressed are left alone. With -d, restores\n"
                 "compressed files to the uncompressed layout instead.",
                 "quorvel-cli"};
    // Options are "-x" and "--xyz" only: on Windows CLI11 would also take "/x" for one, making a
    // rooted path ("/textures") a usage error.
    app.allow_windows_style_options(false);
    std::vector<std::string> paths;
    unsigned jobs = DefaultJobs();
    bool quiet = false;
    bool dryRun = false;
    bool verify = false;
    bool decompress = false;
    std::string jsonPath;
    std::string engineName = "zlib";

    app.add_option("PATH", paths, "Texture files and folders to compress")->required();
    // The default is described rather than printed: the help text is also the manual page,
    // which must not carry the core count of the machine that built it.
    app.add_option("-j,--jobs", jobs,
                   "Compress files in parallel on N worker threads (default: one per hardware "
                   "thread)")
        ->check(CLI::Range(1u, 256u))
        ->type_name("N");
    auto* quietFlag =
        app.add_flag("-q,--quiet", quiet, "No progress line and no summary (failures still shown)");
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose,
                 "A line for every file as it finishes (in walk order): its outcome and the bytes "
                 "saved")
        ->excludes(quietFlag);
    auto* dryRunFlag = app.add_flag(
        "-n,--dry-run", dryRun, "Compress in memory and report what would be saved; write nothing");
    auto* verifyFlag =
        app.add_flag("--verify", verify,
                     "Check compressed textures (marker, stored size, zlib stream inflating to "
                     "exactly that size, nothing after it); write nothing")
            ->excludes(dryRunFlag);
    app.add_flag("-d,--decompress", decompress,
                 "Restore compressed textures to the uncompressed layout (marker and bytes 8..15 "
                 "0x40, then the payload); with -n, restore in memory and write nothing")
        ->excludes(verifyFlag);
    app.add_option("--json", jsonPath,
                   "Write a report of every file's outcome and the totals to FILE (- for "
                   "standard output)")
        ->type_name("FILE");
    app.add_option("--engine", engineName,
                   "zlib writes exactly what the window program writes; libdeflate writes a "
                   "standard zlib stream too, made about twice as fast, about the same size")
        ->check(CLI::IsMember({"zlib", "libdeflate"}))
        ->default_str("zlib");
    bool syncEachFile = false;
    // A benchmark switch: the plain one-fsync-per-file staging, to measure what batching saves.
    app.add_flag("--sync-each-file", syncEachFile,
                 "Benchmark switch: make each file durable on its own instead of in batches")
        ->group("Benchmarking");
    app.set_version_flag("--version", std::string("quorvel-cli ") + QUORVEL_VERSION);
    app.footer("Progress goes to standard error when it is a terminal. Each failure is reported "
               "on its own line on standard error; with -v, every other file too. A name that "
               "could act on the terminal or pass for another (a control character, a byte that "
               "is not UTF-8, a bidirectional control, a line separator) is shown quoted, with C "
               "escapes.\n\n"
               "Exit status: 0 all files done or skipped for a reason, 1 some file failed (or "
               "failed verification), 2 usage error, 130 interrupted (Ctrl-C: files finished "
               "stay finished, the file in progress is left untouched, no temporary file is "
               "left; press twice to stop at once).");

    try {
        // In reverse order, as CLI11 takes a vector.
        std::vector<std::string> arguments = ProgramArguments(argc, argv);
        if (!arguments.empty())
            arguments.erase(arguments.begin());
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return Exit(ExitCode::Usage);
    }

    BatchOptions options;
    if (verify)
        options.mode = BatchMode::Verify;
    else if (decompress)
        options.mode = dryRun ? BatchMode::DecompressDryRun : BatchMode::Decompress;
    else
        options.mode = dryRun ? BatchMode::DryRun : BatchMode::Compress;
    options.engine = *ParseEngineName(engineName);
    options.jobs = jobs;
    options.deferSmallSyncs = !syncEachFile;

    const bool jsonToStdout = jsonPath == "-";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> jsonFile(nullptr, &std::fclose);
    if (!jsonPath.empty() && !jsonToStdout) {
        jsonFile.reset(OpenTextFileForWriting(PathFromArgument(jsonPath)));
        if (!jsonFile) {
            const std::string reason = std::strerror(errno);
            WriteText(stderr, "quorvel-cli: could not create the report " +
                                  DisplayPath(PathFromArgument(jsonPath)) + ": " + reason +
                                  ". No file was changed.\n");
            return Exit(ExitCode::Usage);
        }
    }

    const std::atomic<bool>& stop = InstallGracefulInterrupt();
    ConsoleReport console(stderr, !quiet && IsTerminal(stderr), options.mode, verbose);
    std::unique_ptr<JsonReport> json;
    std::vector<BatchSink*> sinks = {&console};
    std::FILE* jsonOut = jsonToStdout ? stdout : jsonFile.get();
    if (jsonOut != nullptr) {
        json = std::make_unique<JsonReport>(jsonOut, options.mode, options.engine, options.jobs);
        sinks.push_back(json.get());
    }
    FanOut fanOut(sinks);
    BatchTotals totals;
    try {
        std::vector<std::filesystem::path> inputs;
        for (const std::string& path : paths)
            inputs.push_back(PathFromArgument(path));
        // The work list keeps every folder with files to handle open until they are done.
        RaiseOpenFileLimit();
        const WorkList work = CollectWork(inputs, stop, options.mode == BatchMode::Compress);
        totals = RunBatch(work, options, fanOut, stop);
    } catch (const std::exception& e) {
        // Out of memory for the work list, a report that can't be written, ...: the workers
        // have stopped and removed their temporary files by now.
        console.Finish();
        WriteText(stderr, std::string("quorvel-cli: stopped by an unexpected failure: ") +
                              e.what() +
                              ". Files already finished stay finished; the others were left as "
                              "they were.\n");
        return Exit(ExitCode::SomeFailed);
    }
    console.Finish();

    const bool interrupted = stop.load();
    bool reportWritten = true;
    if (json)
        reportWritten = json->Finish(totals, interrupted);
    if (jsonFile)
        reportWritten = std::fclose(jsonFile.release()) == 0 && reportWritten;
    if (!reportWritten) {
        const std::string reason = std::strerror(errno);
        WriteText(stderr, std::string("quorvel-cli: could not write the report ") +
                              (jsonToStdout ? "to standard output"
                                            : DisplayPath(PathFromArgument(jsonPath))) +
                              ": " + reason + ".\n");
    }
    if (!quiet)
        WriteText(jsonToStdout ? stderr : stdout, FormatSummary(totals, options.mode, interrupted));

    if (interrupted)
        return Exit(ExitCode::Interrupted);
    if (totals.failed > 0 || !reportWritten)
        return Exit(ExitCode::SomeFailed);
    return Exit(ExitCode::Success);
}
