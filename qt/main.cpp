// The window program: one main window whose load handler does all of the work before the
// window is first shown, then an event loop until the window is closed.

#include "BufferReuse.h"
#include "CommandLine.h"
#include "InterruptCleanup.h"
#include "MessageBoxPresenter.h"
#include "QtMessageBoxPresenter.h"
#include "Toolkit.h"
#include "frmMain.h"

#include <QApplication>
#include <memory>
#include <utility>

int main(int argc, char* argv[]) {
    quorvel::InstallInterruptCleanup();
    quorvel::KeepFreedBuffersForReuse();

    // Read before Qt sees argv: the whole command line is the path of one file, and none of it
    // may be taken as a Qt option (a file named "-style" is still a file). Qt gets the program
    // name only; it is configured through its environment variables, if at all.
    quorvel::NativeString commandLine = quorvel::CommandLineText(argc, argv);
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setWindowIcon(quorvel::ProgramIcon());
    // The compression component shows its message boxes as real windows here, not on stderr.
    quorvel::SetMessageBoxPresenter(std::make_shared<quorvel::QtMessageBoxPresenter>());

    quorvel::frmMain window(std::move(commandLine));
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
