// The window's side of learning from a recording: the dialog, and putting a learned pair in place.
#include "app/Tvk.h"

#include "app/LearnDialog.h"
#include "controls/Editnum.h"
#include "controls/Icheckbox.h"
#include "dsp/Analyzer.h"

#include <QLineEdit>
#include <QPushButton>

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

void TTvkMain::useLearnedTake(const TLearnedTake& take) {
    applyLearnedTake(take, *analyzer);
    // Later notifications re-read the remembered pickup file: it must not replace the learned pair.
    OpenPickupDialog.fileName.clear();
    const QString name = QString::fromLocal8Bit(take.displayName);
    MicFName->setText(name);
    PickupFName->setText(name);
    // The bound controls show what the learned pair set: delays 0, the pickup enabled.
    dCompMic->setValue();
    dCompPickup->setValue();
    EnablePickup->set();
    dCompPickup->setEnabled(true);
    LoadPickup->setEnabled(true);
    cbPickup->setEnabled(true);
    cbUseMinPhase->setEnabled(true);
    drawImpulseStrips();
    computeResponses();
}
