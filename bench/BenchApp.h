// The one application object of the benchmark binary. Widgets need a QApplication, and drawing
// text a QGuiApplication (which a QApplication is), so every benchmark that draws or builds the
// window asks for this one. Without a platform chosen in the environment it uses the offscreen one.
#pragma once

#include <QApplication>

inline QApplication& benchApplication() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "body-analyzer-bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
