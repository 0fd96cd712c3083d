// Entry routine of body-analyzer: creates the application and the window, opens the file named by
// the optional argument (a project, or a WAVE file as the mic response), runs the event loop until
// the window closes and returns 0. An exception escaping any of these steps is shown.
#include "app/Application.h"
#include "app/Tvk.h"
#include "audio/Capture.h"
#include "io/WriteSignals.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A save into a pipe whose reader left, or past the file size limit, is a failed write
    // reported in a box, not the end of the program and the user's unsaved work.
    ignoreWriteSignals();
    TCapture::prepareSoundServer();
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("body-analyzer"));
    try {
        TTvkMain window;
        window.show();
        // After show(), so that a rejected file's warning stands over the window.
        // From argv itself (Qt's own options removed), so that a name is passed on byte for byte.
        window.openCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        TApplication::exec();
    } catch (const std::exception& e) {
        TApplication::showException(e);
    }
    return 0;
}
