#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // Wayland desktops join the window to its menu entry, and so to its launcher, by this name.
    QApplication::setDesktopFileName(PALLIMOR_APP_ID);
    MainWindow window;
    window.show();
    return app.exec();
}
