// The window's side of learning from a recording: the dialog, and putting a learned pair in place.
#include "app/Tvk.h"

#include "app/LearnDialog.h"
#include "app/ListenGroup.h"
#include "app/RecordDialog.h"
#include "dsp/Analyzer.h"

#include <QFile>
#include <QFileInfo>

void TTvkMain::LearnRecordingClick() {
    openLearnDialog();
}

void TTvkMain::openLearnDialog(const QString& take) {
    if (learnDialog == nullptr) {
        learnDialog = new TLearnDialog(analyzer->plotFreq.data(), this);
        learnDialog->setObjectName(QStringLiteral("learnDialog"));
        learnDialog->setWindowModality(Qt::WindowModal);
        learnDialog->showWarning = [this](const QString& caption, const QString& text) {
            showWarning(caption, text);
        };
        learnDialog->onUse = [this](const TLearnedTake& learned) { useLearnedTake(learned); };
    }
    // A result that was not used is not offered again: the window may have changed since.
    if (!learnDialog->learning() && !learnDialog->isVisible())
        learnDialog->clearResult();
    learnDialog->setDisplayRange(analyzer->fMin, analyzer->fMax);
    if (!take.isEmpty())
        learnDialog->setTake(take);
    learnDialog->show();
    learnDialog->raise();
    learnDialog->activateWindow();
}

void TTvkMain::RecordTakeClick() {
    if (recordDialog == nullptr) {
        recordDialog = new TRecordDialog(analyzer->plotFreq.data(), this);
        recordDialog->setObjectName(QStringLiteral("recordDialog"));
        recordDialog->showWarning = [this](const QString& caption, const QString& text) {
            showWarning(caption, text);
        };
        recordDialog->filters = [this] { return TRenderFilters::fromAnalyzer(*analyzer); };
        recordDialog->onUse = [this](const TLearnedTake& learned) { useLearnedTake(learned); };
        recordDialog->onLearnFromRecording = [this] { openLearnDialog(); };
    } else if (!recordDialog->isVisible()) {
        recordDialog->refreshInputs();
    }
    recordDialog->show();
    recordDialog->raise();
    recordDialog->activateWindow();
}

void TTvkMain::useLearnedTake(const TLearnedTake& take) {
    applyLearnedTake(take, *analyzer);
    // Two tracks: each field names its own.
    const TTakeSource& source = take.source;
    const QString pickupName =
        source.twoTracks()
            ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(source.pickupTrack))).fileName() +
                  QStringLiteral(" (learned)")
            : QString();
    setResponsesFrom(QString::fromLocal8Bit(take.displayName), pickupName, true);
    // The take itself is the first thing worth hearing through the new filter: its pickup channel
    // goes to the "Listen" group at once.
    offerRecording(
        QFile::decodeName(QByteArray::fromStdString(source.twoTracks() ? source.pickupTrack : source.take)),
        source.twoTracks() ? 1 : source.pickupChannel);
}
