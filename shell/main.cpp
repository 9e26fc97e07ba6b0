// Program entry: the application title, the main window (which opens the
// item table), then the event loop.

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "AppPaths.h"
#include "TMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvenor Inventory");
    common::AppPaths::RecordStartDirectory();
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor") {
        if (QDir("/usr/share/icons/Adwaita").exists()) QIcon::setThemeName("Adwaita");
    }
    shell::TMain window;
    if (!window.Created()) return 0;
    window.show();
    app.exec();
    return 0;
}
