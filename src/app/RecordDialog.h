// TRecordDialog ("Record take..." on the page "Files"): records a take from an audio input while
// showing its levels and how far the live learner has got, lets the player hear the correction
// live (Monitor), and after Stop learns from the recorded file exactly as the batch tool's --learn
// does, so that "Use" puts the same pair in place. The choices (input, rate, channels, folder) are
// remembered between runs. Without any audio input the dialog says so and offers "Learn from
// recording..." instead.
#pragma once

#include "app/FileDialog.h"
#include "app/LearnJob.h"
#include "audio/Capture.h"
#include "io/LiveLearning.h"
#include "io/Renderer.h"
#include "io/TakeLearning.h"
#include "plot/CoherenceView.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QCheckBox;
class QComboBox;
class QElapsedTimer;
class QLabel;
class QLineEdit;
class QMediaDevices;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class TImageWidget;

class TRecordDialog : public QDialog {
public:
    static constexpr int tickMs = 50;

    // plotFreq: the analyzer's 500 plot frequencies (not owned, outlives the dialog).
    TRecordDialog(const double* plotFreq, QWidget* parent);
    // Stops a take (keeping it) and the monitor.
    ~TRecordDialog() override;

    // The current Left and Right filters, for the monitor.
    std::function<TRenderFilters()> filters;
    // "Use": called with the pair learned from the recorded take.
    std::function<void(const TLearnedTake&)> onUse;
    // "Learn from recording..." (offered without an audio input).
    std::function<void()> onLearnFromRecording;
    std::function<void(const QString& caption, const QString& text)> showWarning;

    // The window stored a new Left or Right filter: the monitor plays it from now on.
    void filtersChanged();
    // Lists the inputs again and opens the chosen one (the meters run).
    void refreshInputs();
    // Record / Stop.
    void record();
    void stop();
    bool recording() const { return capture.recording(); }
    // The pair learned from the last take, null before one.
    const TLearnedTake* learned() const { return result.get(); }
    // The default name of a new take: take-YYYYMMDD-HHMMSS.wav in the remembered folder (the
    // user's music folder at first).
    QString defaultTakeName() const;

    void reject() override;

    TCapture capture;

    // Controls.
    QLabel* noInput;
    QPushButton* learnInstead;
    QComboBox* inputBox;
    QComboBox* rateBox;
    QComboBox* pickupBox; // item i is channel i + 1
    QComboBox* micBox;
    QLineEdit* fileName;
    QPushButton* browse;
    std::array<QProgressBar*, 2> meters; // pickup, mic: RMS, -60..0 dBFS
    std::array<QLabel*, 2> levels;       // peak, RMS, hold, clip light
    QLabel* levelHint;
    QPushButton* recordButton;
    QLabel* elapsed;
    QCheckBox* monitor;
    QRadioButton* corrected;
    QRadioButton* pickupOnly;
    QLabel* monitorNote; // latency, limiting, headphones
    std::array<QProgressBar*, octaveBandCount> bands;
    QLabel* guidance;
    TImageWidget* coherenceImage;
    QPlainTextEdit* report;
    QLabel* status;
    QPushButton* useButton;
    QPushButton* closeButton;

private:
    void createControls();
    void openInput();
    void chooseChannels();
    void toggleMonitor(bool on);
    void tick();
    void showLevels();
    void takeEnded(const TFileResult& r);
    void learnFromFile();
    void learningFinished(TLearnRun done);
    void showProgress(const TLiveProgress& p);
    void drawCoherence();
    void use();
    void saveSettings();
    void updateControls();

    TFileDialog SaveTakeDialog;
    TCoherenceView coherence;
    QMediaDevices* devices;
    QTimer* timer;
    std::vector<QAudioDevice> inputs;
    QString recordedPath;
    std::int64_t limitedBefore = 0;

    std::mutex learnerLock; // guards learner and progress (the capture's worker feeds the learner)
    std::unique_ptr<TLiveLearner> learner;
    std::optional<TLiveProgress> progress;

    std::unique_ptr<TLearnedTake> result;
    // Learning from the recorded file after Stop; the tick shows its progress.
    std::unique_ptr<TLearnJob> learning;
};
