// The window under test with its warning boxes captured, and helpers shared by the window tests.
#pragma once

#include "app/Tvk.h"
#include "controls/Editnum.h"
#include "controls/GuiApp.h"
#include "controls/Icheckbox.h"
#include "dsp/Analyzer.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/ImageWidget.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Responses compared sample by sample (found by lookup from std::array's comparison).
inline bool operator==(const IrPair& x, const IrPair& y) {
    return x.mic == y.mic && x.pickup == y.pickup;
}

inline QString examplePath(const char* name) {
    const char* dir = std::getenv("EXAMPLES_DIR");
    return QFileInfo(QString::fromLocal8Bit(dir ? dir : "examples") + "/" + name).absoluteFilePath();
}

inline QString testDataPath(const char* name) {
    const char* dir = std::getenv("TEST_DATA_DIR");
    return QString::fromLocal8Bit(dir ? dir : "tests/data") + "/" + name;
}

// True when every pixel of the image has the same colour (nothing drawn on a blank image).
inline bool isBlank(TImageWidget* w) {
    const QImage& img = static_cast<TRasterImage&>(w->image()).image();
    const QRgb first = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != first)
                return false;
    return true;
}

// Answers the next modal box or dialog from inside its event loop: returns its window title.
// A file dialog is given `file` and accepted; any other modal box is closed.
inline void answerNextModal(QString* title, const QString& file = {}) {
    QTimer::singleShot(0, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            answerNextModal(title, file);
            return;
        }
        *title = modal->windowTitle();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        } else {
            modal->close();
        }
    });
}

// Copies of an image's pixels, to tell whether something drew on it.
inline QImage pixels(TImageWidget* w) {
    return w->raster().image().copy();
}

// Blanks an image, so that a later drawing shows.
inline void blank(TImageWidget* w) {
    w->raster().setDevicePixelRatio(w->raster().devicePixelRatio());
}

// The lines of a text file without their CR LF.
inline std::vector<std::string> readLines(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct TWarning {
    QString caption;
    QString text;
};

// The warnings the window has shown. The window queues its boxes, so every look first lets the
// queued events run.
class TWarnings {
public:
    void push_back(TWarning w) { list.push_back(std::move(w)); }
    std::size_t size() const { return shown().size(); }
    bool empty() const { return shown().empty(); }
    const TWarning& operator[](std::size_t i) const { return shown()[i]; }
    const TWarning& front() const { return shown().front(); }
    std::vector<TWarning>::const_iterator begin() const { return shown().begin(); }
    std::vector<TWarning>::const_iterator end() const { return list.end(); }
    void clear() {
        shown();
        list.clear();
    }

private:
    const std::vector<TWarning>& shown() const {
        QCoreApplication::processEvents();
        return list;
    }
    std::vector<TWarning> list;
};

class TvkTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.showWarning = [this](const QString& caption, const QString& text) {
            warnings.push_back({caption, text});
        };
        window.askExportAnyway = [this](const QString& c, const QString& t) {
            return questions.push_back({c, t}), exportAnyway;
        };
        window.show();
        activate();
    }
    void activate() {
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Types text into a field and presses Enter.
    void enter(TEditNum* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void clickBox(TICheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8)); }

    void loadExamples() {
        window.loadWaveFile(0, examplePath("mic.wav"));
        window.loadWaveFile(1, examplePath("pickup.wav"));
    }

    TTvkMain window;
    TAnalyzer& a = *window.analyzer;
    TWarnings warnings;
    std::vector<TWarning> questions; // the export's questions, answered with exportAnyway
    bool exportAnyway = true;
};

// Sends a drag with `file` entering `target` at `pos` and, if it is accepted, drops it there.
// The drop's work runs after the drag has ended, so the events queued by it are processed.
// Returns whether the drop was accepted as a copy.
inline bool dropFile(QWidget* target, QPoint pos, const QString& file) {
    QMimeData mime; // as file managers offer it: the URL, and its text for text fields
    mime.setUrls({QUrl::fromLocalFile(file)});
    mime.setText(QUrl::fromLocalFile(file).toString());
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction); // never a move: the source keeps its file
    QDropEvent drop(QPointF(pos), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

inline QPoint centreIn(const QWidget* window, const QWidget* w) {
    return w->mapTo(window, w->rect().center());
}
