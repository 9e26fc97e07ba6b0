// Program entry.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Halvenor Inventory");
    QLabel window("Halvenor Inventory 95");
    window.setWindowTitle("Halvenor Inventory 95");
    window.resize(640, 480);
    window.show();
    return app.exec();
}
