#pragma once
// Fonts, colours and painting need a GUI application object even when
// nothing is shown: targets that reach them make one, on the offscreen
// platform, before the first input.

#include <QGuiApplication>
#include <cstdlib>

namespace fuzzsupport {

inline void StartGuiApplication(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
}

}  // namespace fuzzsupport
