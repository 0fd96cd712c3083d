#include "app/ListenGroup.h"

#include "dsp/ABMixer.h"
#include "io/RecordingReader.h"
#include "audio/PlaybackFile.h"
#include "audio/ScratchFolder.h"

#include <QAudioDevice>
#include <QButtonGroup>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <cmath>

namespace {

constexpr int ticksPerSecond = 10; // the position slider moves in tenths of a second

QPushButton* button(QWidget* parent, const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

// m:ss.s
QString clockText(double seconds) {
    const int tenths = static_cast<int>(std::floor(std::max(0.0, seconds) * 10));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

QString dbfsText(double dbfs) {
    if (!std::isfinite(dbfs))
        return QStringLiteral("silence");
    return QString::asprintf("%+.1f dBFS", dbfs);
}

QString noAudio(const QString& path) {
    return QStringLiteral("Cannot read \"%1\": it holds no audio").arg(path);
}

// Why the audio output cannot play a recording at `rate` Hz, or empty. Without an output, the
// widest range sound servers take stands in for its own.
QString unplayableRate(const QString& path, int rate) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    const int lowest = device.isNull() ? 1 : device.minimumSampleRate();
    const int highest = device.isNull() ? 768000 : device.maximumSampleRate();
    if (rate >= lowest && rate <= highest)
        return {};
    return QStringLiteral(
               "Cannot play \"%1\": its rate, %2 Hz, is outside what the audio output plays (%3 to "
               "%4 Hz)")
        .arg(path)
        .arg(rate)
        .arg(lowest)
        .arg(highest);
}

} // namespace

TListenGroup::TListenGroup(std::function<TRenderFilters()> filters,
                           std::function<void(const QString&, const QString&)> warn, QWidget* parent)
    : QGroupBox(QStringLiteral("Listen"), parent),
      OpenRecordingDialog(TFileDialog::open, "wav",
                          "Recordings (*.wav *.flac *.aif *.aiff *.w64 *.rf64 *.caf *.ogg)|"
                          "*.wav *.flac *.aif *.aiff *.w64 *.rf64 *.caf *.ogg|All files (*.*)|*.*"),
      SaveWaveDialog(TFileDialog::save, "wav", "WAVE file (*.wav)|*.wav|All files (*.*)|*.*"),
      filters(std::move(filters)), warn(std::move(warn)) {
    OpenRecording = button(this, "Open recording...", 6, 18, 104, 24);
    OpenRecording->setToolTip(
        QStringLiteral("Open a pickup recording to hear it through the Left and Right filters"));
    RecordingFName = new QLineEdit(QStringLiteral("--"), this);
    RecordingFName->setReadOnly(true);
    RecordingFName->setGeometry(114, 20, 250, 21);

    ChannelLabel = label(this, QStringLiteral("Channel"), 8, 49, 44, 16);
    RecordingChannel = new QSpinBox(this);
    RecordingChannel->setGeometry(54, 46, 48, 22);
    RecordingChannel->setRange(1, 1);
    RecordingChannel->setToolTip(QStringLiteral("The recording's channel that holds the pickup"));
    RenderProgress = new QProgressBar(this);
    RenderProgress->setGeometry(110, 47, 176, 20);
    RenderProgress->setRange(0, 1000);
    RenderProgress->setValue(0);
    RenderProgress->setTextVisible(false);
    CancelRender = button(this, "Cancel", 292, 45, 72, 24);
    CancelRender->setToolTip(QStringLiteral("Stop the rendering"));

    PlayStop = button(this, "Play", 6, 76, 60, 24);
    PlayPosition = new QSlider(Qt::Horizontal, this);
    PlayPosition->setGeometry(72, 78, 198, 20);
    PlayPosition->setRange(0, 0);
    PlayPosition->setToolTip(QStringLiteral("Play position"));
    PlayTime = label(this, clockText(0) + " / " + clockText(0), 276, 80, 90, 16);

    ABCorrected = new QRadioButton(QStringLiteral("Corrected"), this);
    ABCorrected->setGeometry(8, 108, 80, 18);
    ABCorrected->setChecked(true);
    ABCorrected->setToolTip(QStringLiteral("Hear the pickup through the Left and Right filters"));
    ABPickup = new QRadioButton(QStringLiteral("Pickup"), this);
    ABPickup->setGeometry(90, 108, 64, 18);
    ABPickup->setToolTip(QStringLiteral("Hear the bare pickup"));
    ABSwitch = new QButtonGroup(this);
    ABSwitch->addButton(ABCorrected, static_cast<int>(TABSource::corrected));
    ABSwitch->addButton(ABPickup, static_cast<int>(TABSource::pickup));
    LevelNote = label(
        this, QStringLiteral("Level-matched: the pickup plays at the corrected signal's loudness (RMS)"), 158,
        102, 206, 30);
    LevelNote->setWordWrap(true);

    SaveWave = button(this, "Save as WAVE...", 6, 138, 104, 24);
    SaveWave->setToolTip(QStringLiteral("Save the corrected recording as a 32-bit float stereo WAVE file"));
    RenderReport = label(this, QString(), 116, 136, 248, 58);
    RenderReport->setWordWrap(true);
    RenderReport->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    scratch = std::make_unique<TScratchFolder>();
    noOutput = TPlayer::outputUnavailableReason();
    // A sound device or server that comes or goes later enables or disables Play.
    connect(new QMediaDevices(this), &QMediaDevices::audioOutputsChanged, this, [this] {
        noOutput = TPlayer::outputUnavailableReason();
        updateControls();
    });
    ticker = new QTimer(this);
    ticker->setInterval(40);

    connect(OpenRecording, &QPushButton::clicked, this, &TListenGroup::OpenRecordingClick);
    connect(PlayStop, &QPushButton::clicked, this, &TListenGroup::PlayStopClick);
    connect(SaveWave, &QPushButton::clicked, this, &TListenGroup::SaveWaveClick);
    connect(CancelRender, &QPushButton::clicked, this, [this] {
        pendingPlay.reset();
        pendingSave.reset();
        if (job) {
            job->cancel();
            cancelAsked = true;
        }
    });
    connect(RecordingChannel, &QSpinBox::valueChanged, this, [this](int channel) {
        if (!loadedPath.isEmpty() && channel != loadedChannel)
            offerRecording(loadedPath, channel);
    });
    connect(ABSwitch, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            audio.select(static_cast<TABSource>(id));
    });
    connect(PlayPosition, &QSlider::valueChanged, this, [this](int tick) {
        if (settingPosition || !audio.take())
            return;
        audio.seek(static_cast<std::int64_t>(tick) * audio.take()->rate() / ticksPerSecond);
        updatePosition();
    });
    connect(ticker, &QTimer::timeout, this, &TListenGroup::poll);
    updateControls();
}

TListenGroup::~TListenGroup() {
    ticker->stop();
    pendingPlay.reset();
    pendingSave.reset();
    job.reset(); // cancels and waits
    audio.setTake(nullptr, 1);
}

std::vector<QWidget*> TListenGroup::tabOrder() const {
    // The A/B switch is one stop, as a radio group is: Tab reaches the chosen side, the arrows
    // switch.
    return {OpenRecording,
            RecordingFName,
            RecordingChannel,
            CancelRender,
            PlayStop,
            PlayPosition,
            ABCorrected->isChecked() ? ABCorrected : ABPickup,
            SaveWave};
}

void TListenGroup::OpenRecordingClick() {
    if (OpenRecordingDialog.execute(window()))
        offerRecording(OpenRecordingDialog.fileName, 1);
}

void TListenGroup::SaveWaveClick() {
    if (loadedPath.isEmpty())
        return;
    if (!SaveWaveDialog.execute(window()))
        return;
    saveWave(SaveWaveDialog.fileName);
    // The button is disabled while it saves and the focus moves on (to the display row, where
    // typing would change the range): it comes back when the save is done, unless the user
    // moved it meanwhile.
    if (!SaveWave->isEnabled())
        focusAfterSave = window()->focusWidget();
}

void TListenGroup::PlayStopClick() {
    if (audio.isPlaying()) {
        audio.stop();
    } else {
        QString why;
        if (!audio.play(&why))
            warn(QStringLiteral("Audio output"), why);
    }
    updateControls();
}

void TListenGroup::offerRecording(const QString& path, int channel) {
    // A quick look first, so a file that is no recording is refused at once.
    TRecordingReader reader;
    if (TFileResult r = reader.open(localPath(path)); !r.ok) {
        warn(QStringLiteral("File error"), QString::fromLocal8Bit(r.message.c_str()));
        return;
    }
    if (reader.info().frames == 0) {
        warn(QStringLiteral("File error"), noAudio(path));
        return;
    }
    if (const QString why = unplayableRate(path, reader.info().rate); !why.isEmpty()) {
        warn(QStringLiteral("File error"), why);
        return;
    }
    if (channel < 1 || channel > reader.info().channels) {
        warn(QStringLiteral("File error"), QStringLiteral("\"%1\" has no channel %2 (it has %3)")
                                               .arg(path)
                                               .arg(channel)
                                               .arg(reader.info().channels));
        return;
    }
    request({TJobKind::play, path, channel, QString(), 0});
}

void TListenGroup::filtersChanged() {
    // The recording in flight (opened but not rendered yet) is the one to render again; its
    // position is still the start.
    const TRequest* inFlight = pendingPlay                             ? pendingPlay.get()
                               : job && running.kind == TJobKind::play ? &running
                                                                       : nullptr;
    if (inFlight && (inFlight->input != loadedPath || inFlight->channel != loadedChannel))
        request({TJobKind::play, inFlight->input, inFlight->channel, QString(), 0});
    else if (!loadedPath.isEmpty())
        request({TJobKind::play, loadedPath, loadedChannel, QString(), audio.position()});
}

void TListenGroup::saveWave(const QString& path) {
    if (!loadedPath.isEmpty())
        request({TJobKind::save, loadedPath, loadedChannel, path, 0});
}

bool TListenGroup::busy() const {
    return job || pendingPlay || pendingSave;
}

void TListenGroup::request(TRequest r) {
    // A playback rendering still running is out of date; a save finishes first.
    if (job && running.kind == TJobKind::play && r.kind == TJobKind::play)
        job->cancel();
    (r.kind == TJobKind::play ? pendingPlay : pendingSave) = std::make_unique<TRequest>(std::move(r));
    if (job)
        updateControls();
    else
        startNext();
}

void TListenGroup::startNext() {
    std::unique_ptr<TRequest>& next = pendingPlay ? pendingPlay : pendingSave;
    if (!next)
        return;
    running = *next;
    next.reset();
    const TRenderFilters stored = filters();
    const std::string input = localPath(running.input);
    const int channel = running.channel;
    std::shared_ptr<TRenderSink> sink;
    if (running.kind == TJobKind::play)
        sink = std::make_shared<TPlaybackFile>(
            scratch->filePath("take-" + std::to_string(++scratchCount) + ".raw"));
    else
        sink = std::make_shared<TWaveFileSink>(localPath(running.output));
    runningSink = sink;
    job = std::make_unique<TBackgroundJob<TRenderResult>>(
        [stored, input, channel, sink](const auto& progress, const auto& cancel) {
            TRenderOptions options;
            options.channel = channel;
            options.progress = progress;
            options.cancel = cancel;
            return renderRecording(stored, input, *sink, options);
        },
        this, [this](TJobOutcome<TRenderResult> finished) {
            finishJob(std::move(finished));
            poll();
        });
    RenderProgress->setValue(0);
    ticker->start();
    updateControls();
}

void TListenGroup::poll() {
    if (job)
        RenderProgress->setValue(static_cast<int>(std::lround(job->progress() * 1000)));
    updatePosition();
    if (const QString why = audio.collectFailure(); !why.isEmpty())
        warn(QStringLiteral("Audio output"), why);
    if (!job && !audio.isPlaying())
        ticker->stop();
    updateControls();
}

void TListenGroup::finishJob(TJobOutcome<TRenderResult> finished) {
    RenderProgress->setValue(static_cast<int>(std::lround(job->progress() * 1000))); // its last
    // Work that threw (out of memory) rendered nothing, and says so.
    if (!finished.result)
        finished.result.emplace().file = fileError("Rendering failed: " + finished.error);
    const TRenderResult result = *finished.result;
    const TRequest done = running;
    std::shared_ptr<TRenderSink> sink = std::move(runningSink);
    job.reset();
    const bool askedToCancel = cancelAsked;
    cancelAsked = false;
    if (result.cancelled) {
        RenderProgress->setValue(0);
        if (askedToCancel) {
            RenderReport->setText(QStringLiteral("Cancelled: the previous recording stays"));
            RenderReport->setPalette(palette());
        }
    } else if (!result.file.ok) {
        RenderProgress->setValue(0);
        warn(QStringLiteral("File error"), QString::fromLocal8Bit(result.file.message.c_str()));
    } else if (done.kind == TJobKind::play && result.frames == 0) { // a stream found empty at its end
        RenderProgress->setValue(0);
        warn(QStringLiteral("File error"), noAudio(done.input));
    } else if (done.kind == TJobKind::play) {
        auto take = std::static_pointer_cast<TPlaybackFile>(sink);
        const bool other = done.input != loadedPath || done.channel != loadedChannel;
        loadedPath = done.input;
        loadedChannel = done.channel;
        audio.setTake(take, static_cast<float>(levelMatchGain(result.outputRms, result.inputRms)));
        if (other) {
            audio.seek(0);
            RecordingFName->setText(loadedPath);
            TRecordingReader reader;
            const int channels =
                reader.open(localPath(loadedPath)).ok ? reader.info().channels : loadedChannel;
            const QSignalBlocker block(RecordingChannel);
            RecordingChannel->setRange(1, std::max(channels, loadedChannel));
            RecordingChannel->setValue(loadedChannel);
        }
        settingPosition = true;
        PlayPosition->setRange(0,
                               static_cast<int>(take->frames() * ticksPerSecond / std::max(take->rate(), 1)));
        settingPosition = false;
        report(result, done.input, QStringLiteral("Rendered"));
    } else {
        report(result, done.input, QStringLiteral("Saved \"%1\"").arg(done.output));
    }
    startNext();
}

void TListenGroup::report(const TRenderResult& r, const QString& recording, const QString& what) {
    QStringList lines;
    lines << QStringLiteral("%1: peak %2").arg(what, dbfsText(r.peakDbfs));
    bool alarm = false;
    if (r.overFullScale()) {
        lines << QStringLiteral("Above full scale: lower the gain");
        alarm = true;
    }
    static const char* const sides[] = {"Left", "Right"};
    for (int c = 0; c < channelCount; ++c)
        if (!r.channelSet[static_cast<size_t>(c)]) {
            lines << QStringLiteral("%1 was never set: it is silent").arg(QLatin1String(sides[c]));
            alarm = true;
        }
    if (const std::string note = rateMismatchNote(r, localPath(QFileInfo(recording).fileName()));
        !note.empty()) {
        lines << QString::fromLocal8Bit(note.c_str());
        alarm = true;
    }
    RenderReport->setText(lines.join('\n'));
    QPalette p = RenderReport->palette();
    p.setColor(QPalette::WindowText, alarm ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    RenderReport->setPalette(p);
}

void TListenGroup::updatePosition() {
    const auto& take = audio.take();
    const int rate = take ? std::max(take->rate(), 1) : 1;
    const std::int64_t at = audio.position();
    const double seconds = static_cast<double>(at) / rate;
    PlayTime->setText(clockText(seconds) + " / " +
                      clockText(take ? static_cast<double>(take->frames()) / rate : 0));
    if (!PlayPosition->isSliderDown()) {
        settingPosition = true;
        PlayPosition->setValue(static_cast<int>(at * ticksPerSecond / rate));
        settingPosition = false;
    }
}

void TListenGroup::updateControls() {
    const bool loaded = !loadedPath.isEmpty();
    const bool playing = audio.isPlaying();
    if (playing && !ticker->isActive())
        ticker->start();
    PlayStop->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
    PlayStop->setEnabled(noOutput.isEmpty() && (loaded || playing));
    PlayStop->setToolTip(!noOutput.isEmpty() ? noOutput
                         : loaded            ? QStringLiteral("Play the recording from the position")
                                             : QStringLiteral("Open a recording to play it"));
    PlayPosition->setEnabled(loaded);
    RecordingChannel->setEnabled(loaded && RecordingChannel->maximum() > 1);
    CancelRender->setEnabled(job != nullptr);
    const bool saving = (job && running.kind == TJobKind::save) || pendingSave;
    SaveWave->setEnabled(loaded && !saving);
    if (!saving && focusAfterSave) {
        if (window()->focusWidget() == focusAfterSave && SaveWave->isEnabled())
            SaveWave->setFocus(Qt::OtherFocusReason);
        focusAfterSave = nullptr;
    }
}
