// TApplication: the program's application object. Like the desktop toolkit's message loop, it
// shows an exception that escapes an event handler in a message box and carries on, instead of
// letting it unwind through Qt's event loop.
#pragma once

#include <QApplication>

#include <exception>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The toolkit's standard exception display: a modal error box with the exception's text.
    static void showException(const std::exception& e);
};
