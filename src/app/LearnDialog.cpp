#include "app/LearnDialog.h"

#include "app/DialogFoot.h"

#include "plot_qt/ImageWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString errorCaption = QStringLiteral("Learning error");
const char* const recordingFilter =
    "Recordings (*.wav *.flac *.aif *.aiff *.w64 *.rf64)|*.wav *.flac *.aif *.aiff *.w64 *.rf64|"
    "All files (*.*)|*.*";

constexpr int plotWidth = 540;
constexpr int plotHeight = 300;

// A file's field: shows the chosen file's name and takes a typed path (see takeTyped).
QLineEdit* nameField(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setMinimumWidth(560);
    e->setPlaceholderText(QStringLiteral("Type a path, or press \"Browse...\""));
    return e;
}

// Shows a chosen file by its name; the full path is in the hint.
void showFile(QLineEdit* field, const QString& path) {
    field->setText(QFileInfo(path).fileName());
    field->setToolTip(path);
}

// What a field shows for the file chosen for it.
QString shownFor(const QString& path) {
    return path.isEmpty() ? QString() : QFileInfo(path).fileName();
}

// A line of the report as rich text: blanks kept, in bold or a colour.
QString reportLine(const QString& line, const char* style) {
    return QStringLiteral("<span style=\"%1\">%2</span>")
        .arg(QLatin1String(style), line.toHtmlEscaped().replace(u' ', QChar::Nbsp));
}

} // namespace

bool isTake(const QString& path) {
    struct TProbe {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool take = false;
    };
    static TProbe last;
    const QFileInfo file(path);
    if (file.filePath() == last.path && file.size() == last.size && file.lastModified() == last.modified)
        return last.take;
    TRecordingInfo info;
    const bool take = probeTake(localPath(path), info).ok && info.channels >= 2;
    last = {file.filePath(), file.size(), file.lastModified(), take};
    return take;
}

TLearnDialog::TLearnDialog(const double* plotFreq, QWidget* parent)
    : QDialog(parent), OpenTakeDialog(TFileDialog::open, "wav", recordingFilter),
      OpenPickupTrackDialog(TFileDialog::open, "wav", recordingFilter),
      OpenMicTrackDialog(TFileDialog::open, "wav", recordingFilter), coherence(plotFreq) {
    setWindowTitle(QStringLiteral("Learn from recording"));
    // The window's own font, as a dialog does not take it over by itself.
    if (parent != nullptr)
        setFont(parent->font());
    createControls();
    progressTimer = new QTimer(this);
    progressTimer->setInterval(50);
    connect(progressTimer, &QTimer::timeout, this, &TLearnDialog::showProgress);
    updateControls();
}

TLearnDialog::~TLearnDialog() {
    job.reset(); // cancels and waits
}

void TLearnDialog::createControls() {
    auto* source = new QGroupBox(QStringLiteral("Recording"), this);
    auto* grid = new QGridLayout(source);
    oneTake =
        new QRadioButton(QStringLiteral("One take, the pickup and the mic on two of its channels"), source);
    twoTracks = new QRadioButton(QStringLiteral("Two tracks of one session, one mono file each"), source);
    oneTake->setChecked(true);
    grid->addWidget(oneTake, 0, 0, 1, 3);

    // A file's row: its caption, its name and its "Browse..." button.
    const auto fileRow = [&](int row, const char* caption, QLineEdit*& name, QPushButton*& browse) {
        grid->addWidget(new QLabel(QString::fromLatin1(caption), source), row, 0);
        name = nameField(source);
        grid->addWidget(name, row, 1);
        browse = new TFocusButton(QStringLiteral("Browse..."), source);
        grid->addWidget(browse, row, 2);
    };
    fileRow(1, "Take", takeName, browseTake);

    auto* channels = new QHBoxLayout;
    pickupChannel = new QComboBox(source);
    micChannel = new QComboBox(source);
    channels->addWidget(new QLabel(QStringLiteral("Pickup on channel"), source));
    channels->addWidget(pickupChannel);
    channels->addSpacing(16);
    channels->addWidget(new QLabel(QStringLiteral("Mic on channel"), source));
    channels->addWidget(micChannel);
    channels->addStretch();
    grid->addLayout(channels, 2, 1);

    grid->addWidget(twoTracks, 3, 0, 1, 3);
    fileRow(4, "Pickup track", pickupTrackName, browsePickupTrack);
    fileRow(5, "Mic track", micTrackName, browseMicTrack);
    normalPolarity = new QCheckBox(QStringLiteral("Turn an inverted mic back to normal polarity"), source);
    grid->addWidget(normalPolarity, 6, 0, 1, 3);

    auto* run = new QHBoxLayout;
    learnButton = new TFocusButton(QStringLiteral("Learn"), this);
    progress = new QProgressBar(this);
    progress->setRange(0, 1000);
    progress->setFormat(QStringLiteral("%p %"));
    swapButton = new QPushButton(QStringLiteral("Swap channels and learn again"), this);
    swapButton->hide();
    run->addWidget(learnButton);
    run->addWidget(swapButton);
    run->addWidget(progress, 1);
    status = new QLabel(this);

    auto* resultBox = new QGroupBox(QStringLiteral("Result"), this);
    // The report beside the plot, so that the dialog fits a screen 768 pixels high.
    auto* resultLayout = new QHBoxLayout(resultBox);
    report = new QPlainTextEdit(resultBox);
    report->setReadOnly(true);
    // Reached with Tab like the other controls, it shows where the focus is with its caret, and
    // Tab leaves it.
    report->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    report->setTabChangesFocus(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(11);
    report->setFont(fixed);
    report->setFixedSize(QFontMetrics(fixed).horizontalAdvance(QString(48, u'0')) + 16, plotHeight);
    resultLayout->addWidget(report);
    coherenceImage = new TImageWidget(plotWidth, plotHeight, resultBox);
    resultLayout->addWidget(coherenceImage);
    coherenceImage->onRedrawNeeded = [this] {
        if (result)
            coherence.draw(coherenceImage->image(), displayMin, displayMax);
    };

    useButton = new TFocusButton(QStringLiteral("Use"), this);
    cancelButton = new TFocusButton(QStringLiteral("Cancel"), this);
    QHBoxLayout* const buttons = dialogFoot(status, {useButton, cancelButton});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addLayout(run);
    layout->addWidget(resultBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(oneTake, &QRadioButton::toggled, this, [this] {
        clearResult();
        updateControls();
    });
    connect(browseTake, &QPushButton::clicked, this, [this] { browse(OpenTakeDialog, -1); });
    for (QLineEdit* field : {takeName, pickupTrackName, micTrackName}) {
        // Until a typed path is taken, Learn would use the file chosen before: it waits.
        connect(field, &QLineEdit::textEdited, this, &TLearnDialog::updateControls);
        connect(field, &QLineEdit::editingFinished, this, [this, field] { takeTyped(field); });
        field->installEventFilter(this);
    }
    connect(browsePickupTrack, &QPushButton::clicked, this, [this] { browse(OpenPickupTrackDialog, 0); });
    connect(browseMicTrack, &QPushButton::clicked, this, [this] { browse(OpenMicTrackDialog, 1); });
    for (QComboBox* box : {pickupChannel, micChannel})
        connect(box, &QComboBox::activated, this, [this] {
            clearResult();
            updateControls();
        });
    connect(learnButton, &QPushButton::clicked, this, &TLearnDialog::learn);
    connect(swapButton, &QPushButton::clicked, this, &TLearnDialog::swapAndLearn);
    connect(normalPolarity, &QCheckBox::toggled, this, [this] { clearResult(); });
    connect(useButton, &QPushButton::clicked, this, &TLearnDialog::use);
    connect(cancelButton, &QPushButton::clicked, this, &TLearnDialog::reject);
}

void TLearnDialog::browse(TFileDialog& dialog, int which) {
    if (!dialog.execute(this))
        return;
    if (which < 0)
        setTake(dialog.fileName);
    else
        setTrack(which, dialog.fileName);
}

void TLearnDialog::takeTyped(QLineEdit* field) {
    const int which = field == takeName ? -1 : field == pickupTrackName ? 0 : 1;
    const QString& chosen = which < 0 ? takePath : trackPaths[which];
    const QString text = field->text().trimmed();
    if (!typedIn(field) || learning())
        return;
    // A bare name or relative path is taken in the folder of the file chosen before.
    const QString folder = chosen.isEmpty() ? QDir::currentPath() : QFileInfo(chosen).absolutePath();
    const QString typed = QDir::cleanPath(QDir(folder).absoluteFilePath(QDir::fromNativeSeparators(text)));
    const bool taken = !text.isEmpty() && (which < 0 ? setTake(typed) : setTrack(which, typed));
    if (!taken) {
        // The field shows what Learn would use.
        if (chosen.isEmpty())
            field->clear();
        else
            showFile(field, chosen);
        updateControls();
    }
}

bool TLearnDialog::typedIn(const QLineEdit* field) const {
    const QString& chosen = field == takeName ? takePath : trackPaths[field == pickupTrackName ? 0 : 1];
    return field->text().trimmed() != shownFor(chosen);
}

bool TLearnDialog::typedPending() const {
    return oneTake->isChecked() ? typedIn(takeName) : typedIn(pickupTrackName) || typedIn(micTrackName);
}

bool TLearnDialog::setTake(const QString& path) {
    if (learning())
        return false;
    OpenTakeDialog.fileName = path;
    TRecordingInfo info;
    const TFileResult r = probeTake(localPath(path), info);
    if (!r.ok) {
        showWarning(errorCaption, QString::fromLocal8Bit(r.message));
        return false;
    }
    // Said at once, not after Learn: one channel cannot hold both the pickup and the mic.
    if (info.channels < 2) {
        showWarning(errorCaption,
                    QStringLiteral("\"%1\" has one channel: a take needs the pickup and the mic on two "
                                   "channels (for one mono file each, choose two tracks)")
                        .arg(path));
        return false;
    }
    takePath = path;
    showFile(takeName, path);
    fillChannels(info.channels);
    oneTake->setChecked(true);
    clearResult();
    updateControls();
    focusNextStep();
    return true;
}

bool TLearnDialog::setTrack(int track, const QString& path) {
    if (learning() || track < 0 || track > 1)
        return false;
    (track == 0 ? OpenPickupTrackDialog : OpenMicTrackDialog).fileName = path;
    TRecordingInfo info;
    const TFileResult r = probeTake(localPath(path), info);
    if (!r.ok) {
        showWarning(errorCaption, QString::fromLocal8Bit(r.message));
        return false;
    }
    trackPaths[track] = path;
    showFile(track == 0 ? pickupTrackName : micTrackName, path);
    twoTracks->setChecked(true);
    clearResult();
    updateControls();
    focusNextStep();
    return true;
}

void TLearnDialog::fillChannels(int channels) {
    for (QComboBox* box : {pickupChannel, micChannel}) {
        box->clear();
        for (int c = 1; c <= channels; ++c) {
            QString item = QString::number(c);
            if (channels == 2)
                item += c == 1 ? QStringLiteral(" (left)") : QStringLiteral(" (right)");
            box->addItem(item);
        }
    }
    pickupChannel->setCurrentIndex(0);
    micChannel->setCurrentIndex(channels >= 2 ? 1 : 0);
}

void TLearnDialog::setDisplayRange(double fMin, double fMax) {
    displayMin = fMin;
    displayMax = fMax;
    if (result)
        coherence.draw(coherenceImage->image(), displayMin, displayMax);
}

void TLearnDialog::clearResult() {
    if (!result && report->toPlainText().isEmpty() && status->text().isEmpty())
        return;
    result.reset();
    swapButton->hide();
    report->clear();
    status->clear();
    progress->setValue(0);
    TRasterImage& raster = coherenceImage->raster();
    raster.setDevicePixelRatio(raster.devicePixelRatio()); // a white image
    coherenceImage->update();
    updateControls();
}

TTakeSource TLearnDialog::chosenSource() const {
    TTakeSource source;
    if (oneTake->isChecked()) {
        source.take = localPath(takePath);
        source.pickupChannel = pickupChannel->currentIndex() + 1;
        source.micChannel = micChannel->currentIndex() + 1;
    } else {
        source.pickupTrack = localPath(trackPaths[0]);
        source.micTrack = localPath(trackPaths[1]);
    }
    source.normalPolarity = normalPolarity->isChecked();
    return source;
}

bool TLearnDialog::choiceComplete() const {
    return oneTake->isChecked() ? !takePath.isEmpty() : !trackPaths[0].isEmpty() && !trackPaths[1].isEmpty();
}

void TLearnDialog::updateControls() {
    const bool choosing = !learning();
    const bool take = oneTake->isChecked();
    oneTake->setEnabled(choosing);
    twoTracks->setEnabled(choosing);
    takeName->setEnabled(choosing && take);
    browseTake->setEnabled(choosing && take);
    pickupChannel->setEnabled(choosing && take && pickupChannel->count() > 0);
    micChannel->setEnabled(choosing && take && micChannel->count() > 0);
    for (QWidget* w : {static_cast<QWidget*>(pickupTrackName), static_cast<QWidget*>(browsePickupTrack),
                       static_cast<QWidget*>(micTrackName), static_cast<QWidget*>(browseMicTrack)})
        w->setEnabled(choosing && !take);
    learnButton->setEnabled(choosing && choiceComplete() && !typedPending());
    normalPolarity->setEnabled(choosing);
    swapButton->setEnabled(choosing);
    useButton->setEnabled(choosing && result != nullptr);
    // Enter presses "Use" once there is something to use, "Learn" before.
    (result ? useButton : learnButton)->setDefault(true);
    (result ? learnButton : useButton)->setDefault(false);
}

void TLearnDialog::focusNextStep() {
    if (learning())
        return;
    QPushButton* next = result             ? useButton
                        : choiceComplete() ? learnButton
                        : oneTake->isChecked()
                            ? browseTake
                            : (trackPaths[0].isEmpty() ? browsePickupTrack : browseMicTrack);
    // Shown as a keyboard focus: the style draws focus frames only after a move by the keyboard.
    setAttribute(Qt::WA_KeyboardFocusChange);
    next->setFocus(Qt::TabFocusReason);
}

bool TLearnDialog::eventFilter(QObject* watched, QEvent* e) {
    // Enter in a file's field with a typed path takes (or refuses) that path and does no more;
    // only the next Enter reaches the default button, so it never learns the file chosen before.
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && typedIn(static_cast<QLineEdit*>(watched))) {
            takeTyped(static_cast<QLineEdit*>(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TLearnDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    focusNextStep();
}

void TLearnDialog::learn() {
    if (learning() || !choiceComplete())
        return;
    clearResult();
    job = startLearning(chosenSource(), this, [this](TLearnRun done) { learningFinished(std::move(done)); });
    progress->setValue(0);
    status->setText(QStringLiteral("Learning..."));
    updateControls();
    // Away from "Cancel": Enter pressed while learning runs does nothing (the default button is
    // disabled), and once it is done, "Use" has the focus.
    report->setFocus();
    progressTimer->start();
}

void TLearnDialog::showReport(const TTakeReport& parts) {
    // What matters most first: the verdict, then the warnings in red, then the figures.
    report->clear();
    const auto add = [this](const std::string& text, const char* style) {
        for (const QString& line : QString::fromLocal8Bit(text).split(u'\n', Qt::SkipEmptyParts))
            report->appendHtml(reportLine(line, style));
    };
    add(parts.verdict, "font-weight:bold");
    add(parts.warnings, "color:#c00000");
    add(parts.details, "");
    report->moveCursor(QTextCursor::Start);
}

void TLearnDialog::showProgress() {
    if (job)
        progress->setValue(static_cast<int>(std::lround(1000 * std::clamp(job->progress(), 0.0, 1.0))));
}

void TLearnDialog::learningFinished(TLearnRun done) {
    job.reset();
    progressTimer->stop();
    if (done.outcome.ok) {
        result = std::make_unique<TLearnedTake>(std::move(done.take));
        progress->setValue(1000);
        showReport(learnReportParts(*result));
        coherence.setCoherence(result->transfer.coherence.data(), result->transfer.rate);
        coherence.setReliableRange(result->transfer.reliableLowHz, result->transfer.reliableHighHz);
        coherence.draw(coherenceImage->image(), displayMin, displayMax);
        status->setText(QStringLiteral("\"Use\" puts the learned pair in place of both responses."));
    } else {
        progress->setValue(0);
        if (done.take.cancelled) {
            status->setText(QStringLiteral("Cancelled: nothing learned."));
        } else {
            status->setText(QStringLiteral("Nothing learned."));
            if (done.take.transfer.swapped && !done.take.source.twoTracks())
                swapButton->show();
            showWarning(errorCaption, QString::fromLocal8Bit(done.outcome.message));
        }
    }
    updateControls();
    focusNextStep();
}

void TLearnDialog::use() {
    if (!result || learning())
        return;
    // Taken out first, so that nothing can apply the same pair twice.
    const std::unique_ptr<TLearnedTake> take = std::move(result);
    clearResult();
    if (onUse)
        onUse(*take);
    accept();
}

void TLearnDialog::swapAndLearn() {
    if (learning() || !oneTake->isChecked())
        return;
    const int pickup = pickupChannel->currentIndex();
    pickupChannel->setCurrentIndex(micChannel->currentIndex());
    micChannel->setCurrentIndex(pickup);
    learn();
}

void TLearnDialog::reject() {
    if (learning()) {
        job->cancel();
        return;
    }
    QDialog::reject();
}
