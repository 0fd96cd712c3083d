#include "app/RecordDialog.h"

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
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString errorCaption = QStringLiteral("Recording error");
constexpr int plotWidth = 540;
constexpr int plotHeight = 220;

QString dbText(double db) {
    return db <= TLevelMeter::floorDb ? QStringLiteral("-inf") : QString::number(db, 'f', 1);
}

QString bandName(double centre) {
    return centre >= 1000 ? QString::number(centre / 1000) + QStringLiteral("k") : QString::number(centre);
}

} // namespace

TRecordDialog::TRecordDialog(const double* plotFreq, QWidget* parent)
    : QDialog(parent), SaveTakeDialog(TFileDialog::save, "wav", "WAVE files (*.wav)|*.wav"),
      coherence(plotFreq) {
    setWindowTitle(QStringLiteral("Record take"));
    if (parent != nullptr)
        setFont(parent->font());
    createControls();
    devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioInputsChanged, this, [this] {
        // The input in use going is the capture's to find (it stops the take).
        if (!capture.recording())
            refreshInputs();
    });
    capture.setBlockListener([this](const float* frames, int channels, std::int64_t count) {
        std::lock_guard guard(learnerLock);
        if (!learner)
            return;
        learner->add(frames, channels, count);
        if (learner->due())
            progress = learner->progress();
    });
    timer = new QTimer(this);
    timer->setInterval(tickMs);
    connect(timer, &QTimer::timeout, this, &TRecordDialog::tick);
    fileName->setText(defaultTakeName());
    refreshInputs();
}

TRecordDialog::~TRecordDialog() {
    capture.close();
}

void TRecordDialog::createControls() {
    noInput = new QLabel(QStringLiteral("No audio input: the system has no device to record from."), this);
    learnInstead = new QPushButton(QStringLiteral("Learn from recording..."), this);

    auto* source = new QGroupBox(QStringLiteral("Input"), this);
    auto* grid = new QGridLayout(source);
    inputBox = new QComboBox(source);
    rateBox = new QComboBox(source);
    pickupBox = new QComboBox(source);
    micBox = new QComboBox(source);
    grid->addWidget(new QLabel(QStringLiteral("Device"), source), 0, 0);
    grid->addWidget(inputBox, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Rate"), source), 0, 4);
    grid->addWidget(rateBox, 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("Pickup on channel"), source), 1, 0);
    grid->addWidget(pickupBox, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Mic on channel"), source), 1, 2);
    grid->addWidget(micBox, 1, 3);
    fileName = new QLineEdit(source);
    browse = new QPushButton(QStringLiteral("Browse..."), source);
    grid->addWidget(new QLabel(QStringLiteral("File"), source), 2, 0);
    grid->addWidget(fileName, 2, 1, 1, 4);
    grid->addWidget(browse, 2, 5);
    for (int i = 0; i < 2; ++i) {
        meters[i] = new QProgressBar(source);
        meters[i]->setRange(-600, 0);
        meters[i]->setTextVisible(false);
        levels[i] = new QLabel(source);
        levels[i]->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        grid->addWidget(new QLabel(i == 0 ? QStringLiteral("Pickup") : QStringLiteral("Mic"), source), 3 + i,
                        0);
        grid->addWidget(meters[i], 3 + i, 1, 1, 2);
        grid->addWidget(levels[i], 3 + i, 3, 1, 3);
    }
    levelHint = new QLabel(source);
    grid->addWidget(levelHint, 5, 1, 1, 5);

    auto* run = new QHBoxLayout;
    recordButton = new QPushButton(QStringLiteral("Record"), this);
    elapsed = new QLabel(QStringLiteral("0:00"), this);
    monitor = new QCheckBox(QStringLiteral("Monitor"), this);
    corrected = new QRadioButton(QStringLiteral("Corrected"), this);
    pickupOnly = new QRadioButton(QStringLiteral("Pickup"), this);
    corrected->setChecked(true);
    run->addWidget(recordButton);
    run->addWidget(elapsed);
    run->addSpacing(24);
    run->addWidget(monitor);
    run->addWidget(corrected);
    run->addWidget(pickupOnly);
    run->addStretch();
    monitorNote =
        new QLabel(QStringLiteral("Use headphones: a live pickup played into speakers can ring."), this);

    auto* learning = new QGroupBox(QStringLiteral("Learning"), this);
    auto* learnLayout = new QGridLayout(learning);
    for (int b = 0; b < octaveBandCount; ++b) {
        bands[b] = new QProgressBar(learning);
        bands[b]->setRange(0, 100);
        bands[b]->setOrientation(Qt::Vertical);
        bands[b]->setTextVisible(false);
        bands[b]->setFixedSize(18, 60);
        learnLayout->addWidget(bands[b], 0, b, Qt::AlignHCenter);
        learnLayout->addWidget(new QLabel(bandName(octaveBandCentres[b]), learning), 1, b, Qt::AlignHCenter);
    }
    guidance = new QLabel(learning);
    learnLayout->addWidget(guidance, 2, 0, 1, octaveBandCount);
    coherenceImage = new TImageWidget(plotWidth, plotHeight, learning);
    learnLayout->addWidget(coherenceImage, 0, octaveBandCount, 3, 1);
    coherenceImage->onRedrawNeeded = [this] { coherence.draw(coherenceImage->image(), 20, 20000); };
    report = new QPlainTextEdit(this);
    report->setReadOnly(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(11);
    report->setFont(fixed);
    report->setFixedHeight(120);

    status = new QLabel(this);
    status->setWordWrap(true);
    useButton = new TFocusButton(QStringLiteral("Use"), this);
    closeButton = new TFocusButton(QStringLiteral("Close"), this);
    QHBoxLayout* const buttons = dialogFoot(status, {useButton, closeButton});

    auto* layout = new QVBoxLayout(this);
    auto* none = new QHBoxLayout;
    none->addWidget(noInput, 1);
    none->addWidget(learnInstead);
    layout->addLayout(none);
    layout->addWidget(source);
    layout->addLayout(run);
    layout->addWidget(monitorNote);
    layout->addWidget(learning);
    layout->addWidget(report);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(learnInstead, &QPushButton::clicked, this, [this] {
        if (onLearnFromRecording)
            onLearnFromRecording();
    });
    connect(inputBox, &QComboBox::activated, this, [this] {
        rateBox->clear();
        openInput();
    });
    connect(rateBox, &QComboBox::activated, this, &TRecordDialog::openInput);
    connect(pickupBox, &QComboBox::activated, this, &TRecordDialog::chooseChannels);
    connect(micBox, &QComboBox::activated, this, &TRecordDialog::chooseChannels);
    connect(browse, &QPushButton::clicked, this, [this] {
        SaveTakeDialog.fileName = fileName->text();
        if (SaveTakeDialog.execute(this))
            fileName->setText(SaveTakeDialog.fileName);
    });
    connect(recordButton, &QPushButton::clicked, this, [this] { recording() ? stop() : record(); });
    connect(monitor, &QCheckBox::toggled, this, &TRecordDialog::toggleMonitor);
    connect(corrected, &QRadioButton::toggled, this,
            [this](bool on) { capture.select(on ? TABSource::corrected : TABSource::pickup); });
    connect(useButton, &QPushButton::clicked, this, &TRecordDialog::use);
    connect(closeButton, &QPushButton::clicked, this, &TRecordDialog::reject);
}

QString TRecordDialog::defaultTakeName() const {
    QSettings settings;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString folder =
        settings.value(QStringLiteral("record/folder"), music.isEmpty() ? QDir::homePath() : music)
            .toString();
    return QDir(folder).filePath(
        QStringLiteral("take-%1.wav")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

void TRecordDialog::refreshInputs() {
    inputs = TCapture::inputs();
    QSettings settings;
    const QByteArray remembered = settings.value(QStringLiteral("record/input")).toByteArray();
    inputBox->clear();
    int chosen = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        inputBox->addItem(inputs[i].description());
        if (inputs[i].id() == remembered)
            chosen = static_cast<int>(i);
    }
    rateBox->clear();
    if (inputs.empty()) {
        capture.close();
        timer->stop();
        updateControls();
        return;
    }
    inputBox->setCurrentIndex(chosen);
    openInput();
}

// Opens the chosen input at the chosen rate (the device's preferred, 44.1 or 48 kHz; the
// remembered one at first), with the remembered channels.
void TRecordDialog::openInput() {
    if (capture.recording() || inputs.empty())
        return;
    const QAudioDevice& device = inputs[static_cast<size_t>(std::max(inputBox->currentIndex(), 0))];
    QSettings settings;
    if (rateBox->count() == 0) {
        const int preferred = TCapture::preferredRate(device);
        for (const int r : {preferred, 44100, 48000})
            if (rateBox->findData(r) < 0)
                rateBox->addItem(QStringLiteral("%1 Hz").arg(r), r);
        const int remembered =
            rateBox->findData(settings.value(QStringLiteral("record/rate"), preferred).toInt());
        rateBox->setCurrentIndex(std::max(remembered, 0));
    }
    const bool wasMonitoring = capture.monitoring();
    QString error;
    if (!capture.open(device, rateBox->currentData().toInt(), &error)) {
        status->setText(error);
        updateControls();
        return;
    }
    const int channels = capture.channels();
    for (QComboBox* box : {pickupBox, micBox}) {
        box->clear();
        for (int c = 1; c <= channels; ++c)
            box->addItem(QString::number(c));
    }
    pickupBox->setCurrentIndex(
        std::min(settings.value(QStringLiteral("record/pickup"), 0).toInt(), channels - 1));
    micBox->setCurrentIndex(std::min(settings.value(QStringLiteral("record/mic"), 1).toInt(), channels - 1));
    chooseChannels();
    status->setText(channels < 2
                        ? QStringLiteral("This input has one channel: a take needs the pickup and a mic")
                        : QString());
    if (wasMonitoring)
        toggleMonitor(true);
    timer->start();
    saveSettings();
    updateControls();
}

void TRecordDialog::chooseChannels() {
    capture.setChannels(pickupBox->currentIndex(), micBox->currentIndex());
    saveSettings();
}

void TRecordDialog::saveSettings() {
    QSettings settings;
    if (capture.isOpen()) {
        settings.setValue(QStringLiteral("record/input"), capture.device().id());
        settings.setValue(QStringLiteral("record/rate"), capture.rate());
    }
    settings.setValue(QStringLiteral("record/pickup"), pickupBox->currentIndex());
    settings.setValue(QStringLiteral("record/mic"), micBox->currentIndex());
}

void TRecordDialog::record() {
    if (!capture.isOpen() || capture.recording())
        return;
    if (pickupBox->currentIndex() == micBox->currentIndex()) {
        status->setText(QStringLiteral("Choose two different channels for the pickup and the mic"));
        return;
    }
    const QString path = fileName->text();
    // A name the user chose with Browse... (whose dialog asked about replacing it) may replace a file.
    const bool replace = path == SaveTakeDialog.fileName;
    const TFileResult r = capture.startTake(localPath(path), replace);
    if (!r.ok) {
        showWarning(errorCaption, QString::fromLocal8Bit(r.message));
        return;
    }
    {
        std::lock_guard guard(learnerLock);
        learner =
            std::make_unique<TLiveLearner>(capture.rate(), pickupBox->currentIndex(), micBox->currentIndex());
        progress.reset();
    }
    recordedPath = path;
    learning.reset(); // the previous take's learning, should it still run
    result.reset();
    report->clear();
    status->setText(QStringLiteral("Recording to %1").arg(QFileInfo(path).fileName()));
    QSettings().setValue(QStringLiteral("record/folder"), QFileInfo(path).absolutePath());
    updateControls();
}

void TRecordDialog::stop() {
    capture.stopTake();
}

void TRecordDialog::toggleMonitor(bool on) {
    if (!on) {
        capture.stopMonitor();
        return;
    }
    const TRenderFilters f = filters ? filters() : TRenderFilters{};
    QString error;
    capture.stopMonitor();
    if (!capture.startMonitor(f.ir[0], f.ir[1], &error)) {
        monitor->setChecked(false);
        status->setText(error);
        return;
    }
    capture.select(corrected->isChecked() ? TABSource::corrected : TABSource::pickup);
    limitedBefore = 0;
}

void TRecordDialog::filtersChanged() {
    if (!capture.monitoring() || !filters)
        return;
    const TRenderFilters f = filters();
    capture.setFilters(f.ir[0], f.ir[1]);
}

void TRecordDialog::tick() {
    showLevels();
    if (capture.recording()) {
        const std::int64_t seconds = capture.recordedFrames() / std::max(capture.rate(), 1);
        elapsed->setText(
            QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
    }
    if (std::optional<TFileResult> ended = capture.takeEnded())
        takeEnded(*ended);
    else if (capture.lost() && !capture.recording())
        refreshInputs(); // the system default now, or none
    std::optional<TLiveProgress> p;
    {
        std::lock_guard guard(learnerLock);
        p.swap(progress);
    }
    if (p)
        showProgress(*p);
    if (capture.monitoring()) {
        const std::int64_t limited = capture.limitedFrames();
        QString note =
            QStringLiteral("Input to output: about %1 ms. Use headphones: a live pickup played into "
                           "speakers can ring.")
                .arg(std::lround(capture.monitorLatencyMs()));
        if (limited > limitedBefore)
            note += QStringLiteral(" The output is limited to -1 dBFS.");
        limitedBefore = limited;
        monitorNote->setText(note);
    }
    if (learning)
        report->setPlainText(QStringLiteral("Learning from the take... %1 %")
                                 .arg(std::lround(100 * std::clamp(learning->progress(), 0.0, 1.0))));
}

void TRecordDialog::showLevels() {
    std::array<double, 2> rms{};
    for (int i = 0; i < 2; ++i) {
        const TLevelReading r = capture.level(i);
        rms[i] = r.rmsDb;
        meters[i]->setValue(static_cast<int>(std::lround(std::clamp(r.rmsDb, -60.0, 0.0) * 10)));
        levels[i]->setText(QStringLiteral("peak %1  RMS %2  hold %3 dBFS %4")
                               .arg(dbText(r.peakDb), 6)
                               .arg(dbText(r.rmsDb), 6)
                               .arg(dbText(r.holdDb), 6)
                               .arg(r.clip ? QStringLiteral("CLIP") : QString()));
        levels[i]->setStyleSheet(r.clip ? QStringLiteral("color: red") : QString());
    }
    levelHint->setText(QString::fromStdString(levelGuidance(rms[0], rms[1])));
}

void TRecordDialog::showProgress(const TLiveProgress& p) {
    for (int b = 0; b < octaveBandCount; ++b)
        bands[b]->setValue(static_cast<int>(std::lround(100 * p.learned[b])));
    guidance->setText(QString::fromStdString(p.guidance));
    coherence.setCoherence(p.coherence.data(), p.rate);
    coherence.setReliableRange(p.reliableLowHz, p.reliableHighHz);
    drawCoherence();
}

void TRecordDialog::drawCoherence() {
    coherence.draw(coherenceImage->image(), 20, 20000);
    coherenceImage->update();
}

void TRecordDialog::takeEnded(const TFileResult& r) {
    {
        std::lock_guard guard(learnerLock);
        learner.reset();
    }
    fileName->setText(defaultTakeName());
    // Learnt with the channels it was recorded with, before another input may change them.
    if (QFileInfo::exists(recordedPath))
        learnFromFile();
    if (capture.lost())
        refreshInputs();
    status->setText(r.ok ? QStringLiteral("Recorded %1").arg(QFileInfo(recordedPath).fileName())
                         : QString::fromLocal8Bit(r.message));
    if (!r.ok)
        showWarning(errorCaption, QString::fromLocal8Bit(r.message));
    updateControls();
}

// Learns from the recorded file as the batch tool's --learn does, off the window's thread.
void TRecordDialog::learnFromFile() {
    TTakeSource source;
    source.take = localPath(recordedPath);
    source.pickupChannel = pickupBox->currentIndex() + 1;
    source.micChannel = micBox->currentIndex() + 1;
    report->setPlainText(QStringLiteral("Learning from the take..."));
    learning = startLearning(source, this, [this](TLearnRun done) { learningFinished(std::move(done)); });
}

void TRecordDialog::learningFinished(TLearnRun done) {
    learning.reset();
    if (done.outcome.ok) {
        result = std::make_unique<TLearnedTake>(std::move(done.take));
        report->setPlainText(QString::fromLocal8Bit(learnReport(*result)));
        // The bands and the plot as the file's estimate has them, agreeing with the report.
        showProgress(summariseLearning(result->transfer));
    } else if (!done.outcome.message.empty()) {
        report->setPlainText(QString::fromLocal8Bit(done.outcome.message));
    }
    updateControls();
}

void TRecordDialog::use() {
    if (result && onUse)
        onUse(*result);
}

void TRecordDialog::reject() {
    if (capture.recording())
        capture.stopTake();
    monitor->setChecked(false);
    QDialog::reject();
}

void TRecordDialog::updateControls() {
    const bool any = !inputs.empty();
    noInput->setVisible(!any);
    learnInstead->setVisible(!any);
    const bool open = capture.isOpen();
    const bool rec = capture.recording();
    for (QWidget* w : std::initializer_list<QWidget*>{inputBox, rateBox, pickupBox, micBox, fileName, browse})
        w->setEnabled(any && !rec);
    recordButton->setEnabled(open && capture.channels() >= 2);
    recordButton->setText(rec ? QStringLiteral("Stop") : QStringLiteral("Record"));
    monitor->setEnabled(open);
    useButton->setEnabled(result != nullptr && !rec);
}
