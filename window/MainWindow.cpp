// The main window's logic; see MainWindow.h. The view only shows what is decided here: the
// texts of both labels, when cmdOK is enabled, when the window appears and when the dialog goes.
#include "MainWindow.h"

#include "Brevora.h"
#include "DirectoryLister.h"
#include "DisplayPath.h"
#include "OpenFolder.h"
#include "System.h"
#include "TextureError.h"
#include "TextureScan.h"

#include <atomic>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace quorvel {

namespace {

constexpr char kFailureHeading[] = "Not everything could be compressed:\n\n";
constexpr char kNotFlushed[] = ", but the folder could not be flushed to disk: ";
constexpr char kOutOfMemory[] = "The folder walk stopped early: the program ran out of memory. "
                                "Files not reached yet are unchanged.";

// Keeps the one report a single-file run gives.
class OneReport final : public BatchSink {
public:
    void OnReport(const FileReport& report) override { m_report = report; }
    const FileReport& report() const { return m_report; }

private:
    FileReport m_report;
};

unsigned HardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

// Clears the busy flag however Form_Load is left.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyScope() { m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_busy;
};

} // namespace

MainWindow::MainWindow(MainWindowView& view, NativeString commandLine, Options options)
    : m_view(view), m_commandLine(std::move(commandLine)), m_options(std::move(options)) {}

MainWindow::~MainWindow() = default;

void MainWindow::Form_Load() {
    {
        const BusyScope busy(m_busy);
        m_view.setOkEnabled(false);
        Compressor = std::make_unique<Brevora>();

        const NativeString s = StripQuotes(m_commandLine);
        if (!s.empty())
            RunSingleFile(s);
        else
            RunFolderMode();
    }
    m_view.setOkEnabled(true);
    m_view.focusOk();
}

void MainWindow::RunSingleFile(const NativeString& s) {
    const std::filesystem::path path(s);
    const std::string shown = DisplayPath(path);
    m_view.setTitle(shown);

    // Resolved once, here; a name that doesn't resolve fails at Open with the reason.
    WorkItem item;
    item.path = path;
    item.file = ResolveNamedFile(path, item.openError);
    OneReport sink;
    const std::atomic<bool> noStop{false};
    RewritePipeline pipeline(PipelineOptions(1), sink, noStop);
    if (m_options.whileWorking)
        m_options.whileWorking();
    pipeline.Submit(std::move(item));
    pipeline.Finish();

    const FileReport& report = sink.report();
    if (report.isFailure() && report.step == Step::SyncFolder) {
        // The file was replaced: its saving stands, with the warning that it may not last.
        m_view.setStatus(std::to_string(report.sizes.bytesSaved()) + " bytes saved" + kNotFlushed +
                         DescribeError(report.error));
        m_view.setStatusDetail(DescribeReport(report, shown));
    } else if (report.isFailure()) {
        // The label holds one short line; the whole sentence, with the file's state, is the
        // detail the front end shows on demand.
        m_view.setStatus(DescribeError(report.error));
        m_view.setStatusDetail(DescribeReport(report, shown));
    } else {
        m_view.setStatus(std::to_string(report.sizes.bytesSaved()) + " bytes saved");
    }
}

void MainWindow::RunFolderMode() {
    const std::filesystem::path folder = m_view.pickStartFolder();

    TextureScan scan(m_view,
                     PipelineOptions(m_options.jobs != 0 ? m_options.jobs : HardwareThreads()));
    scan.SetHandOverHook(m_options.whileWorking);
    if (!folder.empty()) {
        m_view.showNow();
        if (!FsObject)
            FsObject = std::make_unique<SystemDirectoryLister>();
        // Every folder holding files on their way stays open until they are done.
        RaiseOpenFileLimit();
        ScanFolder(scan, folder);
    }
    m_view.unloadFolderDialog();
    scan.Finish();
    m_totalSaved = scan.totalSaved();
    m_failureCount = scan.failures().size();

    if (!scan.failures().empty()) {
        std::string text = kFailureHeading;
        text += FormatFailureReport(scan.failures());
        m_view.showWarning(text);
    }
}

void MainWindow::ScanFolder(TextureScan& scan, const std::filesystem::path& folder) {
    try {
        scan.Scan(folder, *FsObject);
    } catch (const std::bad_alloc&) {
        // The walk throws nothing else; every file it met so far is either compressed or
        // untouched, so the run ends with what it has.
        m_view.showWarning(kOutOfMemory);
    }
}

void MainWindow::cmdOK_Click() {
    if (m_busy)
        return;
    m_view.closeWindow();
}

bool MainWindow::QueryUnload() {
    if (m_busy)
        return false;
    Form_Unload();
    return true;
}

void MainWindow::Form_Unload() {
    Compressor.reset();
    FsObject.reset();
}

// The window program compresses with zlib through its component, lent to the first worker.
BatchOptions MainWindow::PipelineOptions(unsigned jobs) const {
    BatchOptions options;
    options.jobs = jobs;
    options.lentCompressor = Compressor.get();
    return options;
}

} // namespace quorvel
