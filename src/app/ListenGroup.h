// TListenGroup: the "Listen" group of the Summary page. It renders a recording's chosen channel
// through the filters stored as Left and Right, off the window's thread with progress and Cancel,
// plays it with an A/B switch between the corrected signal and the level-matched bare pickup, and
// saves the rendering as a float WAVE file exactly as the batch tool's --render does.
// One rendering runs at a time; a change of filters while one runs restarts it once it has ended.
#pragma once

#include "app/BackgroundJob.h"
#include "app/FileDialog.h"
#include "audio/Player.h"
#include "io/Renderer.h"

#include <QGroupBox>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;
class TScratchFolder;

class TListenGroup : public QGroupBox {
public:
    // filters: the filters stored as Left and Right now (asked on this thread when a rendering
    // starts). warn: shows a failure (caption, text).
    TListenGroup(std::function<TRenderFilters()> filters,
                 std::function<void(const QString&, const QString&)> warn, QWidget* parent);
    ~TListenGroup() override;

    // Loads channel `channel` (1-based) of the recording at `path` and renders it; the position
    // starts at 0. A recording that fails keeps what was loaded before, and the failure is shown.
    void offerRecording(const QString& path, int channel = 1);
    // The stored filters changed ("Left" or "Right" pressed): renders what is loaded again and
    // plays on from the same position.
    void filtersChanged();
    // Writes the rendering of what is loaded, with the filters stored now, to `path` (in the
    // background; the outcome is reported like a playback rendering's).
    void saveWave(const QString& path);

    // True while a rendering runs or waits to run.
    bool busy() const;
    // The loaded recording and channel (empty before the first success).
    const QString& recordingPath() const { return loadedPath; }
    int recordingChannel() const { return loadedChannel; }
    TPlayer& player() { return audio; }

    // The group's focusable controls in reading order, for the page's tab order (of the A/B
    // switch the side chosen now).
    std::vector<QWidget*> tabOrder() const;

    void OpenRecordingClick();
    void PlayStopClick();
    void SaveWaveClick();

    QPushButton* OpenRecording;
    QLineEdit* RecordingFName;
    QLabel* ChannelLabel;
    QSpinBox* RecordingChannel;
    QProgressBar* RenderProgress;
    QPushButton* CancelRender;
    QPushButton* PlayStop;
    QSlider* PlayPosition;
    QLabel* PlayTime;
    QRadioButton* ABCorrected;
    QRadioButton* ABPickup;
    QButtonGroup* ABSwitch;
    QLabel* LevelNote;
    QPushButton* SaveWave;
    QLabel* RenderReport;

    TFileDialog OpenRecordingDialog;
    TFileDialog SaveWaveDialog;

private:
    enum class TJobKind { play, save };
    struct TRequest {
        TJobKind kind;
        QString input;
        int channel;
        QString output; // for a save
        std::int64_t position;
    };

    void request(TRequest r);
    void startNext();
    void poll();
    void finishJob(TJobOutcome<TRenderResult> finished);
    void updateControls();
    void updatePosition();
    // Shows the outcome of rendering `recording` and what the user should know about it.
    void report(const TRenderResult& r, const QString& recording, const QString& what);

    std::function<TRenderFilters()> filters;
    std::function<void(const QString&, const QString&)> warn;
    TPlayer audio;
    std::unique_ptr<TScratchFolder> scratch;
    int scratchCount = 0;
    std::unique_ptr<TBackgroundJob<TRenderResult>> job;
    TRequest running{};
    std::shared_ptr<TRenderSink> runningSink;
    std::unique_ptr<TRequest> pendingPlay; // the latest playback rendering asked for
    std::unique_ptr<TRequest> pendingSave;
    QTimer* ticker;
    QString loadedPath;
    int loadedChannel = 0;
    bool settingPosition = false;
    bool cancelAsked = false; // Cancel was pressed while the running job ran
    QString noOutput; // why nothing can be played; empty with an audio output
    // Where the focus went when "Save as WAVE..." was disabled for its save; it returns to the
    // button when the save ends, if it is still there.
    QPointer<QWidget> focusAfterSave;
};
