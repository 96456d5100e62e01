#pragma once
// MainWindow: what the main window does, without a toolkit.
//
// A front end (Qt, Win32) builds the controls and implements MainWindowView; everything the
// window decides is here. Form_Load does all of the work synchronously on the UI thread: it
// creates the compression component, applies the quote rule to the command line and takes one
// of two branches. A path compresses that one texture file (resolved once, a link followed, then
// rewritten through its open folder like a file the folder walk finds); the front end then shows
// the window with the path in lblTitle and the bytes saved (or why nothing could be saved) in
// lblVersion. An empty command line asks for a start folder in the folder-picker dialog, shows
// the window, walks the folder tree with ScanFolder, which compresses every candidate file and
// keeps the running total in lblVersion, and ends with " Finished.." and a warning listing what
// could not be handled. cmdOK stays disabled throughout and a close is refused meanwhile;
// afterwards cmdOK, Enter, Escape and the close box all unload the window, which releases the
// component.

#include "CommandLine.h"
#include "OpenFolder.h"
#include "ProgressView.h"
#include "TextureFile.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace quorvel {

class Brevora;
class DirectoryLister;
class TextureScan;

// The main window as the logic sees it. Texts are UTF-8. Every call comes on the UI thread.
class MainWindowView : public ProgressView {
public:
    // ProgressView: setTitle (lblTitle), setStatus (lblVersion), repaintStatus (lblVersion at
    // once, while the thread stays busy).

    // A longer explanation of lblVersion's text, shown on demand (a tool tip); "" for none.
    virtual void setStatusDetail(const std::string& text) = 0;
    // Enables or disables cmdOK; while it is disabled Enter, Escape and the close box do nothing.
    virtual void setOkEnabled(bool enabled) = 0;
    // Puts the keyboard focus on cmdOK.
    virtual void focusOk() = 0;
    // Shows the window (not yet visible while Form_Load runs) and paints it at once.
    virtual void showNow() = 0;
    // Creates the folder-picker dialog, shows it modally with no owner window and returns its
    // `path` once it has hidden itself: the folder picked, empty after Cancel or the close box.
    // The dialog stays loaded until unloadFolderDialog().
    virtual std::filesystem::path pickStartFolder() = 0;
    // Destroys the folder-picker dialog, if one is loaded.
    virtual void unloadFolderDialog() = 0;
    // A modal warning box with the window's caption as title; returns once it is closed.
    virtual void showWarning(const std::string& text) = 0;
    // Closes (unloads) the window; the front end then calls MainWindow::QueryUnload.
    virtual void closeWindow() = 0;
};

class MainWindow {
public:
    // Compresses one texture file with the window's component: CompressTextureFile, or a
    // stand-in in tests.
    using CompressStep =
        std::function<TextureResult(Brevora& compressor, const FileInFolder& file)>;

    // commandLine is the raw text after the program's name (CommandLineText); Form_Load applies
    // the quote rule to it. An empty `compress` means CompressTextureFile.
    MainWindow(MainWindowView& view, NativeString commandLine, CompressStep compress = {});
    ~MainWindow();

    // The load handler: runs the single-file or folder mode to the end and returns with cmdOK
    // enabled and focused. Call once, before the window is first shown.
    void Form_Load();

    // cmdOK was pressed (or Enter or Escape while it is enabled): asks the view to close.
    // Does nothing while work runs.
    void cmdOK_Click();

    // The window is asked to close (the close box, or closeWindow()). Returns false, refusing
    // the close, while work runs; otherwise runs Form_Unload and returns true.
    bool QueryUnload();

    // True from the start of Form_Load until it returns.
    bool busy() const { return m_busy; }

private:
    void Form_Unload();
    void RunSingleFile(const NativeString& s);
    void RunFolderMode();
    void ScanFolder(TextureScan& scan, const std::filesystem::path& folder);
    TextureResult CompressOne(const FileInFolder& file);

    MainWindowView& m_view;
    NativeString m_commandLine;
    CompressStep m_compress;
    bool m_busy = false;
    std::unique_ptr<Brevora> Compressor;       // from Form_Load to Form_Unload
    std::unique_ptr<DirectoryLister> FsObject; // from first use in folder mode to Form_Unload
};

} // namespace quorvel
