#pragma once
// MainWindow: what the main window does, without a toolkit.
//
// A front end (Qt, Win32) builds the controls and implements MainWindowView; everything the
// window decides is here. Form_Load holds the UI thread until all of the work is done: it
// creates the compression component, applies the quote rule to the command line and takes one
// of two branches. A path compresses that one texture file (resolved once, a link followed, then
// rewritten through its open folder like a file the folder walk finds); the front end then shows
// the window with the path in lblTitle and the bytes saved (or why nothing could be saved) in
// lblVersion. An empty command line asks for a start folder in the folder-picker dialog, shows
// the window, walks the folder tree with ScanFolder, which compresses every candidate file on
// as many workers as the machine has hardware threads and keeps the running total in
// lblVersion, and ends with " Finished.." and a warning listing what could not be handled.
// Both modes go through the rewrite pipeline (RewritePipeline.h), which hands every result back
// to the UI thread; only that thread touches the view. cmdOK stays disabled throughout and a
// close is refused meanwhile; afterwards cmdOK, Enter, Escape and the close box all unload the
// window, which releases the component.

#include "CommandLine.h"
#include "ProgressView.h"
#include "RewritePipeline.h"

#include <cstddef>
#include <cstdint>
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

// How MainWindow runs its work (declared outside it, so that it can be a default argument).
struct MainWindowOptions {
    // Compressing workers in folder mode; 0 for one per hardware thread.
    unsigned jobs = 0;
    // Called on the UI thread as each file is handed over to be compressed, while the work
    // holds the window; tests look at the window then.
    std::function<void()> whileWorking;
};

class MainWindow {
public:
    using Options = MainWindowOptions;

    // commandLine is the raw text after the program's name (CommandLineText); Form_Load applies
    // the quote rule to it.
    MainWindow(MainWindowView& view, NativeString commandLine, Options options = {});
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
    // After a folder-mode run: the bytes it saved (what the files replaced on disk shrank by)
    // and the number of failures it listed.
    std::int64_t totalSaved() const { return m_totalSaved; }
    std::size_t failureCount() const { return m_failureCount; }

private:
    void Form_Unload();
    void RunSingleFile(const NativeString& s);
    void RunFolderMode();
    void ScanFolder(TextureScan& scan, const std::filesystem::path& folder);
    BatchOptions PipelineOptions(unsigned jobs) const;

    MainWindowView& m_view;
    NativeString m_commandLine;
    Options m_options;
    bool m_busy = false;
    std::int64_t m_totalSaved = 0;
    std::size_t m_failureCount = 0;
    std::unique_ptr<Brevora> Compressor;       // from Form_Load to Form_Unload
    std::unique_ptr<DirectoryLister> FsObject; // from first use in folder mode to Form_Unload
};

} // namespace quorvel
