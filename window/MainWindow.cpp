// The main window's logic; see MainWindow.h. The view only shows what is decided here: the
// texts of both labels, when cmdOK is enabled, when the window appears and when the dialog goes.
#include "MainWindow.h"

#include "Brevora.h"
#include "DirectoryLister.h"
#include "DisplayPath.h"
#include "FailureText.h"
#include "OpenFolder.h"
#include "TextureError.h"
#include "TextureScan.h"

#include <new>
#include <system_error>
#include <utility>

namespace quorvel {

namespace {

constexpr char kFailureHeading[] = "Not everything could be compressed:\n\n";
constexpr char kNotFlushed[] = ", but the folder could not be flushed to disk: ";
constexpr char kOutOfMemory[] = "The folder walk stopped early: the program ran out of memory. "
                                "Files not reached yet are unchanged.";

TextureResult CompressWithComponent(Brevora& compressor, const FileInFolder& file) {
    return CompressTextureFile(compressor, file);
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

MainWindow::MainWindow(MainWindowView& view, NativeString commandLine, CompressStep compress)
    : m_view(view), m_commandLine(std::move(commandLine)),
      m_compress(compress ? std::move(compress) : CompressStep(CompressWithComponent)) {}

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

    std::error_code error;
    const FileInFolder file = ResolveNamedFile(path, error);
    TextureResult result;
    if (error) {
        result.path = path;
        result.SetFailure(Step::Open, error);
    } else {
        result = CompressOne(file);
    }

    if (result.failed() && result.failedStep == Step::SyncFolder) {
        // The file was replaced: its saving stands, with the warning that it may not last.
        m_view.setStatus(std::to_string(result.bytesSaved) + " bytes saved" + kNotFlushed +
                         DescribeError(result.error));
        m_view.setStatusDetail(DescribeFailure(result, shown));
    } else if (result.failed()) {
        // The label holds one short line; the whole sentence, with the file's state, is the
        // detail the front end shows on demand.
        m_view.setStatus(DescribeError(result.error));
        m_view.setStatusDetail(DescribeFailure(result, shown));
    } else {
        m_view.setStatus(std::to_string(result.bytesSaved) + " bytes saved");
    }
}

void MainWindow::RunFolderMode() {
    const std::filesystem::path folder = m_view.pickStartFolder();

    TextureScan scan(m_view, [this](const FileInFolder& file) { return CompressOne(file); });
    if (!folder.empty()) {
        m_view.showNow();
        if (!FsObject)
            FsObject = std::make_unique<SystemDirectoryLister>();
        ScanFolder(scan, folder);
    }
    m_view.unloadFolderDialog();
    scan.Finish();

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

TextureResult MainWindow::CompressOne(const FileInFolder& file) {
    return m_compress(*Compressor, file);
}

} // namespace quorvel
