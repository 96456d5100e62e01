#pragma once
// frmMain: the program's main window, as Qt widgets.
//
// What the window does is decided by its logic, MainWindow (MainWindow.h), which this window
// owns and serves as its view: main() constructs the window with the command line and runs
// Form_Load before the first show; Form_Load runs the single-file or the folder mode to the end
// and leaves the result in the two labels. This class builds the controls as designed
// (WindowDesign.h), puts the logic's texts on them, shows the folder-picker dialog fd and the
// warning box, and passes cmdOK, Enter, Escape and the close box on to the logic, which refuses
// a close while work runs. Input made while the work held the window (keys, clicks, the close
// box) is dropped when it ends, not acted on then. The process ends with its last window.

#include "CommandLine.h"
#include "MainWindow.h"

#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

class QFrame;
class QPushButton;

namespace quorvel {

class StatusLabel;
class fd;

class frmMain : public QWidget, private MainWindowView {
    Q_OBJECT

public:
    // commandLine is the raw text after the program's name (CommandLineText); Form_Load applies
    // the quote rule to it. `options` as for MainWindow.
    explicit frmMain(NativeString commandLine, MainWindow::Options options = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // The load handler (MainWindow::Form_Load): runs the single-file or folder mode to the end
    // and returns with cmdOK enabled. Call once, before the window is first shown. In folder
    // mode it shows the window itself once a folder has been picked.
    void Form_Load();

    // True while Form_Load runs: cmdOK is disabled and a close is refused.
    bool busy() const { return m_logic.busy(); }

    // The controls, named and laid out as designed. The window owns them.
    StatusLabel* const lblTitle;
    StatusLabel* const lblVersion;
    QFrame* const Line1;
    QPushButton* const cmdOK;

protected:
    // The close box does what cmdOK does; while work runs a close is refused.
    void closeEvent(QCloseEvent* event) override;
    // Enter and Escape press cmdOK while it is enabled (its default and cancel roles).
    void keyPressEvent(QKeyEvent* event) override;

private:
    // MainWindowView: what the logic asks of the window.
    void setTitle(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void repaintStatus() override;
    void setStatusDetail(const std::string& text) override;
    void setOkEnabled(bool enabled) override;
    void focusOk() override;
    void showNow() override;
    std::filesystem::path pickStartFolder() override;
    void unloadFolderDialog() override;
    void showWarning(const std::string& text) override;
    void closeWindow() override;

    MainWindow m_logic;
    std::unique_ptr<fd> m_dialog; // the folder-picker dialog, from its show to its unload
};

} // namespace quorvel
