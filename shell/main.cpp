// Program entry. With a command (halvenor export ...) the program works
// without a window and ends with the command's exit code; otherwise the
// application title, the main window (which opens the item table, then the
// table named on the command line, if any), then the event loop.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include "AppPaths.h"
#include "Cli.h"
#include "MainWindow.h"

int main(int argc, char** argv) {
    const cli::Invocation invocation = cli::Parse(cli::ArgumentsOf(argc, argv));
    if (invocation.face != cli::Invocation::Face::Window) return cli::RunWithoutWindow(invocation, argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvenor Inventory");
    QApplication::setDesktopFileName("org.halvenor.Inventory");
    common::AppPaths::RecordStartDirectory();
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor") {
        if (QDir("/usr/share/icons/Adwaita").exists()) QIcon::setThemeName("Adwaita");
    }
    shell::MainWindow window;
    if (!window.Created()) return 0;
    window.show();
    if (!invocation.file.empty()) {
        const QString file = QString::fromLocal8Bit(invocation.file.c_str());
        QTimer::singleShot(0, &window, [&window, file] { window.OpenFromCommandLine(file); });
    }
    app.exec();
    return 0;
}
