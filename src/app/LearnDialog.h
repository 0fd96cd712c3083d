// TLearnDialog: learning the mic and pickup responses from a take, a recording of playing with the
// pickup on one channel and a microphone on another, or from two mono tracks of one session. The
// user chooses the file(s) and the channels, presses "Learn", watches the progress, reads the
// report and the coherence over frequency, and takes the learned pair with "Use" or leaves with
// "Cancel". Learning runs on a worker thread; the dialog's window stays responsive and nothing
// outside the dialog changes until "Use".
#pragma once

#include "app/FileDialog.h"
#include "app/LearnJob.h"
#include "io/TakeLearning.h"
#include "plot/CoherenceView.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class TImageWidget;

// True when `path` is an audio file with two or more channels (only its header is read; the
// answer for the last file asked about is kept while its size and time stamp stay, as a drag asks
// on every move).
bool isTake(const QString& path);

class TLearnDialog : public QDialog {
public:
    // plotFreq: the analyzer's 500 plot frequencies (not owned, outlives the dialog).
    TLearnDialog(const double* plotFreq, QWidget* parent);
    // A learning still running is cancelled and waited for (it stops within one block).
    ~TLearnDialog() override;

    // Chooses `path` as the take: reads its channel count and fills both channel choices with it
    // (pickup 1, mic 2), and selects "one take". A file that cannot be read as audio or has one
    // channel is reported through showWarning and the previous choice stays. True if taken.
    bool setTake(const QString& path);
    // Chooses the pickup (track 0) or mic (track 1) file of two tracks and selects "two tracks";
    // a file that cannot be read as audio is reported and the previous choice stays.
    bool setTrack(int track, const QString& path);
    // The display range of the coherence plot, Hz (the window's fMin and fMax).
    void setDisplayRange(double fMin, double fMax);
    // Drops the result and the messages of an earlier run (the choices stay).
    void clearResult();

    // "Learn": starts learning from the current choice on a worker thread. Nothing happens while
    // learning runs or while the choice is incomplete.
    void learn();
    bool learning() const { return job != nullptr; }
    // The learned take of the last successful run, null before one and after any change.
    const TLearnedTake* learned() const { return result.get(); }
    const TCoherenceView& coherenceView() const { return coherence; }

    // "Cancel" and Escape: while learning, stops it (the dialog stays, nothing learned);
    // otherwise closes the dialog, changing nothing.
    void reject() override;

    // Where reports of bad files and failed learning go (caption, text naming the file and the
    // reason). The window routes them to its own warning box.
    std::function<void(const QString& caption, const QString& text)> showWarning;
    // "Use": called with the learned take, then the dialog closes.
    std::function<void(const TLearnedTake&)> onUse;

    // Controls.
    QRadioButton* oneTake;
    QRadioButton* twoTracks;
    QLineEdit* takeName;
    QPushButton* browseTake;
    QComboBox* pickupChannel; // item i is channel i + 1
    QComboBox* micChannel;
    QLineEdit* pickupTrackName;
    QPushButton* browsePickupTrack;
    QLineEdit* micTrackName;
    QPushButton* browseMicTrack;
    QCheckBox* normalPolarity; // "--learn-polarity normal"
    QPushButton* learnButton;
    // Shown after a take was refused because its channels look swapped: swaps the two channel
    // choices and learns again.
    QPushButton* swapButton;
    QProgressBar* progress; // 0..1000
    QLabel* status;
    QPlainTextEdit* report;
    TImageWidget* coherenceImage;
    QPushButton* useButton;
    QPushButton* cancelButton;

    // The file dialogs of the three "Browse..." buttons (tests answer them like the window's).
    TFileDialog OpenTakeDialog;
    TFileDialog OpenPickupTrackDialog;
    TFileDialog OpenMicTrackDialog;

protected:
    // The focus goes to the next thing to do (see focusNextStep).
    void showEvent(QShowEvent* e) override;
    // Enter in a file's field with a typed path (see takeTyped).
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createControls();
    void browse(TFileDialog& dialog, int which); // which: -1 the take, 0/1 a track
    void fillChannels(int channels);
    // A path typed into a file's field and confirmed (Enter, or the focus leaving) is chosen as
    // with "Browse..."; one that is refused puts back the path chosen before.
    void takeTyped(QLineEdit* field);
    // A field's text differs from the file chosen for it (typed but not yet taken): that one
    // field, or any field of the current choice.
    bool typedIn(const QLineEdit* field) const;
    bool typedPending() const;
    // The report: verdict, warnings in red, then the details.
    void showReport(const TTakeReport& parts);
    TTakeSource chosenSource() const;
    bool choiceComplete() const;
    // Enables the controls for the current state: choosing, learning, or showing a result.
    void updateControls();
    // Focus on the next step: "Use" with a result, else "Learn" with a complete choice, else the
    // "Browse..." of what is missing, so that the keyboard alone leads through the dialog.
    void focusNextStep();
    void showProgress();
    void learningFinished(TLearnRun done);
    void use();
    void swapAndLearn();

    TCoherenceView coherence;
    double displayMin = 50;
    double displayMax = 20000;
    QString takePath;
    QString trackPaths[2]; // pickup, mic
    std::unique_ptr<TLearnJob> job;
    QTimer* progressTimer;
    std::unique_ptr<TLearnedTake> result;
};
