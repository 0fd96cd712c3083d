// The window's reactions to events: the change notification, the track bars, the channel and
// Load buttons, the export, and the mouse over the plots.
#include "app/Tvk.h"
#include "app/ListenGroup.h"

#include "controls/Editnum.h"
#include "controls/Icheckbox.h"
#include "controls/NotifyEvent.h"
#include "dsp/Analyzer.h"
#include "io/BodyDataFile.h"
#include "io/WaveReader.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/ImageWidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <string>

namespace {

QString shownName(const QString& path) {
    return QString::fromLocal8Bit(stripPath(localPath(path)));
}

} // namespace

bool TTvkMain::event(QEvent* e) {
    if (e->type() == QEvent::Type(paramChangedMessage)) {
        if (const auto* message = dynamic_cast<const TNotifyEvent*>(e); message != nullptr && !closing)
            ParamChanged(*message);
        return true;
    }
    return QWidget::event(e);
}

void TTvkMain::ParamChanged(const TNotifyEvent& message) {
    TAnalyzer& a = *analyzer;
    // The edited end of the display range gives way so that it stays at least 100 Hz wide.
    if (message.wParam == 10) {
        a.fMin = std::min(a.fMin, a.fMax - 100);
        fLow->setValue();
    } else if (message.wParam == 11) {
        a.fMax = std::max(a.fMin + 100, a.fMax);
        fHigh->setValue();
    }

    if (a.enablePickup) {
        dCompPickup->setEnabled(true);
        LoadPickup->setEnabled(true);
        PickupFName->setText(shownName(OpenPickupDialog.fileName));
        readWave(1, OpenPickupDialog.fileName);
        cbPickup->setEnabled(true);
        cbUseMinPhase->setEnabled(true);
    } else {
        a.delayPickup = 0;
        dCompPickup->setValue();
        dCompPickup->setEnabled(false);
        LoadPickup->setEnabled(false);
        a.setUnitImpulse(1);
        PickupFName->setText(QStringLiteral("--"));
        cbPickup->setEnabled(false);
        cbUseMinPhase->setEnabled(false);
    }

    drawImpulseStrips();
    computeResponses();
    drawSummary();
}

void TTvkMain::readWave(int channel, const QString& path) {
    const TFileResult r = ::readWave(*analyzer, channel, localPath(path));
    if (!r.ok && !r.cannotOpen)
        showWarning(QString::fromLatin1(waveErrorCaption), QString::fromLocal8Bit(r.message));
}

void TTvkMain::betaTrackBarChange() {
    computeResponses();
}

void TTvkMain::cbSetAsLeftClick() {
    setChannel(0);
    drawSummary();
    Listen->filtersChanged();
}

void TTvkMain::cbSetAsRightClick() {
    setChannel(1);
    drawSummary();
    Listen->filtersChanged();
}

void TTvkMain::offerRecording(const QString& path, int channel) {
    Listen->offerRecording(path, channel);
}

void TTvkMain::LoadMicClick() {
    if (OpenMicDialog.execute(this))
        loadWaveFile(0, OpenMicDialog.fileName);
}

void TTvkMain::LoadPickupClick() {
    if (OpenPickupDialog.execute(this))
        loadWaveFile(1, OpenPickupDialog.fileName);
}

void TTvkMain::loadWaveFile(int channel, const QString& path) {
    (channel == 0 ? OpenMicDialog : OpenPickupDialog).fileName = path;
    // The name is shown first, so it stays shown when the file turns out to be unreadable.
    (channel == 0 ? MicFName : PickupFName)->setText(shownName(path));
    readWave(channel, path);
    drawImpulseStrips();
    computeResponses();
}

void TTvkMain::Export1Click() {
    if (ExportDialog.execute(this))
        exportBodyData(ExportDialog.fileName);
}

bool TTvkMain::exportBodyData(const QString& path) {
    const TFileResult r = writeBodyData(*analyzer, guitarName->text().toStdString(), localPath(path));
    // A file that could not be written is said so: the user must not believe it was exported.
    if (!r.ok)
        showWarning(QStringLiteral("File error"), QString::fromLocal8Bit(r.message));
    return r.ok;
}

void TTvkMain::ImageFreqDomain1MouseMove(TShiftState shift, int x, int y) {
    std::string panel = statusPanels[0]->text().toStdString();
    view->analysisPlot.mouseMove(shift, x, y, ImageFreqDomain1->image(), panel);
    statusPanels[0]->setText(QString::fromStdString(panel));
}

void TTvkMain::ImageFreqDomain2MouseMove(TShiftState shift, int x, int y) {
    std::string panel = statusPanels[0]->text().toStdString();
    view->summaryPlot.mouseMove(shift, x, y, ImageFreqDomain2->image(), panel);
    statusPanels[0]->setText(QString::fromStdString(panel));
}

void TTvkMain::ImageFreqDomain1MouseDown(QObject* sender, TMouseButton button, TShiftState shift, int x,
                                         int y) {
    if (sender == ImageFreqDomain1)
        view->analysisPlot.mouseDown(this, reinterpret_cast<std::intptr_t>(this), button, shift, x, y,
                                     ImageFreqDomain1->image());
}

void TTvkMain::ImageFreqDomain2MouseDown(QObject* sender, TMouseButton button, TShiftState shift, int x,
                                         int y) {
    if (sender == ImageFreqDomain2)
        view->summaryPlot.mouseDown(this, reinterpret_cast<std::intptr_t>(this), button, shift, x, y,
                                    ImageFreqDomain2->image());
}

void TTvkMain::NoCursor() {
    statusPanels[0]->setText(QString());
}

bool TTvkMain::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return filterDragEvent(static_cast<QWidget*>(watched), e);
    case QEvent::ToolTip:
        // cbPickup and cbFilter keep their hints without showing them.
        return watched == cbPickup || watched == cbFilter;
    case QEvent::MouseMove: {
        // Only over the page's own background, not over a control on it.
        auto* page = static_cast<QWidget*>(watched);
        if ((page == TabSheet2 || page == TabSheet4) &&
            page->childAt(static_cast<QMouseEvent*>(e)->position().toPoint()) == nullptr)
            NoCursor();
        return false;
    }
    default:
        return QWidget::eventFilter(watched, e);
    }
}
