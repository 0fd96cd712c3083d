// The window's reactions to events: the change notification, the track bars, the channel and
// Load buttons, the export, and the mouse over the plots.
#include "app/Tvk.h"

#include "app/ListenGroup.h"
#include "app/RecordDialog.h"

#include "controls/Editnum.h"
#include "controls/EditnumText.h"
#include "controls/Icheckbox.h"
#include "controls/NotifyEvent.h"
#include "controls/StatusNote.h"
#include "dsp/Analyzer.h"
#include "dsp/ChannelNotes.h"
#include "io/BodyDataFile.h"
#include "io/SampleRates.h"
#include "io/WaveReader.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/ImageWidget.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

QString shownName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(stripPath(path)));
}

QString fromBytes(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

double& member(IrPair& p, int channel) {
    return channel == 0 ? p.mic : p.pickup;
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
    keepShownValues();
    // The edited end of the display range gives way so that it keeps its least width.
    if (message.wParam == 10) {
        a.fMin = fMinAfterEdit(a.fMin, a.fMax);
        fLow->setValue();
    } else if (message.wParam == 11) {
        a.fMax = fMaxAfterEdit(a.fMin, a.fMax);
        fHigh->setValue();
    }

    updatePickup();

    drawImpulseStrips();
    computeResponses();
    drawSummary();
}

void TTvkMain::updatePickup() {
    TAnalyzer& a = *analyzer;
    if (a.enablePickup) {
        dCompPickup->setEnabled(true);
        LoadPickup->setEnabled(true);
        if (pickupKept) {
            for (int i = 0; i < blockLength; ++i)
                a.irData[i].pickup = keptPickup[i];
            pickupKept = false;
        }
        PickupFName->setText(pickupSource.name);
        rereadPickup();
        cbPickup->setEnabled(true);
        cbUseMinPhase->setEnabled(true);
    } else {
        a.delayPickup = 0;
        dCompPickup->setValue();
        dCompPickup->setEnabled(false);
        LoadPickup->setEnabled(false);
        if (!pickupKept) {
            for (int i = 0; i < blockLength; ++i)
                keptPickup[i] = a.irData[i].pickup;
            pickupKept = true;
        }
        a.setUnitImpulse(1);
        PickupFName->setText(QStringLiteral("--"));
        cbPickup->setEnabled(false);
        cbUseMinPhase->setEnabled(false);
    }
}

void TTvkMain::rereadPickup() {
    if (pickupFile.empty())
        return;
    std::int32_t rate = 0;
    const TFileResult r = readWaveSamples(pickupFile, scratch, rate);
    const std::string outcome = r.ok || r.cannotOpen ? std::string() : r.message;
    if (r.ok) {
        for (int i = 0; i < blockLength; ++i)
            analyzer->irData[i].pickup = scratch[i];
        // fs stays the rate of the file the user loaded last; a file changed since is noted.
        pickupSource.rate = rate;
        noteSampleRates();
    } else if (!r.cannotOpen && outcome != lastPickupReread) {
        warn(QString::fromLatin1(waveErrorCaption), fromBytes("\"" + pickupFile + "\": " + r.message));
    }
    lastPickupReread = outcome;
}

void TTvkMain::keepShownValues() {
    TAnalyzer& a = *analyzer;
    const std::pair<TEditNum*, double*> delays[] = {{dCompMic, &a.delayMic}, {dCompPickup, &a.delayPickup}};
    for (const auto& [field, delay] : delays)
        if (const double whole = std::trunc(*delay); whole != *delay) {
            *delay = whole;
            field->setValue();
        }
    const std::pair<TEditNum*, double*> shownOnly[] = {{eGain, &a.gainDb}, {eBlend, &a.blend}};
    for (const auto& [field, value] : shownOnly) {
        char shown[TEditNum::displayBufferSize];
        field->setValue(*value, shown);
        if (const double v = editNumTextValue(shown, 1.0, false); v != *value && std::isfinite(v)) {
            *value = v;
            field->setValue();
        }
    }
}

void TTvkMain::noteSampleRates() {
    const std::pair<std::int32_t, std::int32_t> rates{micSource.rate, pickupSource.rate};
    if (rates == notedRates)
        return;
    notedRates = rates;
    const std::string note = sampleRateNote(rates.first, rates.second, analyzer->fs);
    if (!note.empty()) {
        QString text = fromBytes(note);
        text[0] = text[0].toUpper();
        warn(QStringLiteral("Sample rate"), text + '.');
    }
}

void TTvkMain::warn(const QString& caption, const QString& text) {
    QMetaObject::invokeMethod(
        this, [this, caption, text] { showWarning(caption, text); }, Qt::QueuedConnection);
}

void TTvkMain::betaTrackBarChange() {
    computeResponses();
}

void TTvkMain::cbSetAsLeftClick() {
    setAsChannel(0);
}

void TTvkMain::cbSetAsRightClick() {
    setAsChannel(1);
}

void TTvkMain::setAsChannel(int channel) {
    setChannel(channel);
    drawSummary();
    Listen->filtersChanged();
    if (recordDialog != nullptr)
        recordDialog->filtersChanged();
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
    loadWave(channel, QFile::encodeName(path).toStdString(), path.contains(QChar::ReplacementCharacter));
}

bool TTvkMain::loadWave(int channel, const std::string& path, bool nameLost) {
    // Read aside first: a file that is not read whole changes nothing, its name included.
    std::int32_t rate = 0;
    const TFileResult r = readWaveSamples(path, scratch, rate);
    if (r.cannotOpen)
        warn(QStringLiteral("File error"), cannotOpenMessage(r, path, nameLost));
    else if (!r.ok)
        warn(QString::fromLatin1(waveErrorCaption), fromBytes("\"" + path + "\": " + r.message));
    if (r.ok) {
        TAnalyzer& a = *analyzer;
        // While Pickup is off a new pickup response waits in memory; the analysis keeps the unit
        // impulse until Pickup is ticked.
        if (channel == 1 && pickupKept)
            keptPickup = scratch;
        else
            for (int i = 0; i < blockLength; ++i)
                member(a.irData[i], channel) = scratch[i];
        a.setFs(rate);
        view->learnedResponse[static_cast<std::size_t>(channel)] = false;
        TResponseSource& source = channel == 0 ? micSource : pickupSource;
        source = {shownName(path), rate};
        if (channel == 0 || !pickupKept)
            (channel == 0 ? MicFName : PickupFName)->setText(source.name);
        if (channel == 1) {
            pickupFile = path;
            lastPickupReread.clear();
        }
        noteSampleRates();
    }
    drawImpulseStrips();
    computeResponses();
    followRate();
    return r.ok;
}

QString TTvkMain::cannotOpenMessage(const TFileResult& r, const std::string& path, bool nameLost) const {
    if (nameLost && !QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(path))))
        return "Cannot open \"" + QFile::decodeName(QByteArray::fromStdString(path)) +
               "\": the file name is not valid UTF-8, so it cannot be opened from here; rename the file "
               "or name it on the command line";
    return fromBytes(r.message);
}

void TTvkMain::Export1Click() {
    // A channel that is not current would reach the device as silence or at the wrong rate: the
    // user hears of it before choosing a file.
    QStringList problems;
    for (int c = 0; c < channelCount; ++c)
        if (const std::string w = channelExportWarning(*analyzer, c); !w.empty())
            problems << fromBytes(w) + '.';
    if (!problems.isEmpty() && !askExportAnyway(QStringLiteral("Export"),
                                                problems.join('\n') + QStringLiteral("\n\nExport anyway?")))
        return;
    if (ExportDialog.execute(this))
        exportBodyData(ExportDialog.fileName);
}

bool TTvkMain::exportBodyData(const QString& path) {
    return reportWrite(writeBodyData(*analyzer, guitarName->text().toStdString(), localPath(path)),
                       QStringLiteral("Exported "), path);
}

bool TTvkMain::reportWrite(const TFileResult& r, const QString& done, const QString& path) {
    if (!r.ok) {
        statusNote->clearNote();
        warn(QStringLiteral("File error"), QString::fromLocal8Bit(r.message));
        return false;
    }
    statusNote->note(done + QFileInfo(path).fileName());
    return true;
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
