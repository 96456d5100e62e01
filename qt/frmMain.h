#pragma once
// frmMain: the program's main window and the work it starts.
//
// main() constructs the window with the command line and runs Form_Load before the first show.
// Form_Load does all of the work synchronously on the UI thread: it creates the compression
// component, reads the command line and takes one of two branches. A path compresses that one
// texture file (resolved once, a link followed, then rewritten through its open folder like a
// file the folder walk finds); the window then appears with the path in lblTitle and the bytes
// saved (or why nothing could be saved) in lblVersion. An empty command line asks for a start
// folder in the folder-picker dialog fd, shows the window, and walks the folder tree with
// ScanFolder, which compresses every candidate file and keeps the running total in lblVersion.
// cmdOK stays disabled throughout and the window refuses to close meanwhile; afterwards cmdOK,
// Enter, Escape and the close box all unload the window, which releases the component, and the
// process ends with its last window.

#include "CommandLine.h"
#include "ProgressView.h"
#include "TextureFile.h"

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace quorvel {

class Brevora;
class DirectoryLister;
class TextureScan;

class frmMain : public QWidget, private ProgressView {
    Q_OBJECT

public:
    // Compresses one texture file with the window's component: CompressTextureFile, or a
    // stand-in that also watches the window while a file is being compressed.
    using CompressStep =
        std::function<TextureResult(Brevora& compressor, const FileInFolder& file)>;

    // commandLine is the raw text after the program's name (CommandLineText); Form_Load applies
    // the quote rule to it. An empty `compress` means CompressTextureFile.
    explicit frmMain(NativeString commandLine, CompressStep compress = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // The load handler: runs the single-file or folder mode to the end and returns with cmdOK
    // enabled. Call once, before the window is first shown. In folder mode it shows the window
    // itself once a folder has been picked.
    void Form_Load();

    // The controls, named and laid out as designed. The window owns them.
    QLabel* const lblTitle;
    QLabel* const lblVersion;
    QFrame* const Line1;
    QPushButton* const cmdOK;

protected:
    // The close box does what cmdOK does; while work runs (cmdOK disabled) a close is refused.
    void closeEvent(QCloseEvent* event) override;
    // Enter and Escape press cmdOK while it is enabled (its default and cancel roles).
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdOK_Click();
    void Form_Unload();

    // The folder mode: asks for the start folder, walks it, shows " Finished.." and a warning
    // listing whatever could not be handled.
    void RunFolderMode();

    // Walks the tree at folder with scan, which compresses each candidate through
    // CompressTextureFile and writes the progress to the labels.
    void ScanFolder(TextureScan& scan, const std::filesystem::path& folder);

    // Compresses one texture file through Compressor with m_compress.
    TextureResult CompressOne(const FileInFolder& file);

    // ProgressView: how the folder scan shows its progress in the two labels.
    void setTitle(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void repaintStatus() override;

    NativeString m_commandLine;
    CompressStep m_compress;
    std::unique_ptr<Brevora> Compressor;       // from Form_Load to Form_Unload
    std::unique_ptr<DirectoryLister> FsObject; // from first use in folder mode to Form_Unload
};

} // namespace quorvel
