// body-analyzer-screenshot DIR [MIC.wav PICKUP.wav]: starts the window as the program does, writes
// a PNG of each page into DIR and reports how long the window took to its first painted frame.
// With two WAVE files it also loads them, stores the filter as "Left" and writes the pages again.
// body-analyzer-screenshot --record DIR SECONDS: opens "Record take...", records from the default
// input (with Monitor on) into a temporary folder and, SECONDS later, writes the dialog as
// DIR/record-dialog.png.
#include "app/Application.h"
#include "app/RecordDialog.h"
#include "app/Tvk.h"
#include "io/WriteSignals.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Milliseconds since the process was started by the kernel (10 ms resolution).
double msSinceProcessStart() {
    std::ifstream statFile("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && statFile >> field; ++i) {
    }
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (uptime - std::stod(field) / ticks) * 1000;
}

// Signals the first paint event the window receives.
class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(QElapsedTimer& clock) : clock(clock) {}
    qint64 ms = -1;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && ms < 0) {
            ms = clock.elapsed();
            std::printf("first frame: %lld ms after main(), %.0f ms after process start\n",
                        static_cast<long long>(ms), msSinceProcessStart());
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return false;
    }

private:
    QElapsedTimer& clock;
};

void savePages(TTvkMain& window, const QString& dir, const QString& prefix) {
    const char* names[] = {"files", "analysis", "summary"};
    for (int i = 0; i < 3; ++i) {
        window.pageCtrl->setCurrentIndex(i);
        const QString path = dir + "/" + prefix + names[i] + ".png";
        if (!window.grab().save(path))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
    window.pageCtrl->setCurrentIndex(0);
}

// The Record dialog `seconds` into a take from the default input, as DIR/record-dialog.png.
int saveRecording(const QString& dir, int seconds) {
    TTvkMain window;
    window.show();
    window.showWarning = [](const QString&, const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    };
    window.RecordTakeClick();
    TRecordDialog& dialog = *window.recordDialog;
    QTemporaryDir takes;
    dialog.fileName->setText(takes.filePath(QStringLiteral("take-20261209-201500.wav")));
    dialog.monitor->setChecked(true);
    dialog.record();
    if (!dialog.recording()) {
        std::fprintf(stderr, "cannot record: %s\n", qPrintable(dialog.status->text()));
        return 1;
    }
    // Shown as a user's music folder, not the temporary one.
    dialog.fileName->setText(QStringLiteral("/home/guitarist/Music/take-20261209-201500.wav"));
    // A loop of its own: quitting the application's would close the dialog first.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const QString path = dir + "/record-dialog.png";
    if (!dialog.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    dialog.reject();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    ignoreWriteSignals();
    TCapture::prepareSoundServer();
    TApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--record") {
        const QString dir = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(dir);
        return saveRecording(dir, std::max(std::atoi(argv[3]), 1));
    }
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s DIR [MIC.wav PICKUP.wav] | --record DIR SECONDS\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);

    TTvkMain window;
    TFirstPaint firstPaint(clock);
    window.installEventFilter(&firstPaint);
    window.show();
    TApplication::exec(); // until the first frame was painted

    savePages(window, dir, "start-");
    if (argc == 4) {
        window.loadWaveFile(0, QString::fromLocal8Bit(argv[2]));
        window.loadWaveFile(1, QString::fromLocal8Bit(argv[3]));
        window.cbSetAsLeftClick();
        savePages(window, dir, "loaded-");
    }
    return 0;
}
