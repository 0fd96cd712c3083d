// TTvkMain: the program's one window. It owns the analyzer state, the display objects (plots,
// curve lists, curves) and the five file dialogs, lays out the three pages with every control,
// binds the controls to the state at start-up and reacts to their change notifications.
// The window's client area is fixed at 744 x 714 pixels; sizes and positions are logical pixels.
#pragma once

#include "app/FileDialog.h"
#include "dsp/ChannelNotes.h"
#include "io/WaveReader.h"
#include "plot/Plot1.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QStatusBar;
class QTabWidget;
class TAnalyzer;
class TAnalyzerView;
class TEditNum;
class TICheckBox;
class TImageWidget;
class TIrExportButton;
class TLearnDialog;
class TRecordDialog;
class TListenGroup;
class TNotifyEvent;
class TStatusNote;
struct TLearnedTake;

class TTvkMain : public QWidget {
public:
    static constexpr int clientWidth = 744;
    static constexpr int clientHeight = 714;
    // The window's place on a screen large enough for it (top left of its frame).
    static constexpr int x0 = 62;
    static constexpr int y0 = 132;

    explicit TTvkMain(QWidget* owner = nullptr);
    ~TTvkMain() override;

    // The analyzer state and the display objects, owned for the life of the window.
    std::unique_ptr<TAnalyzer> analyzer;
    std::unique_ptr<TAnalyzerView> view;

    // Runs the analysis with the track bars' alpha and beta, then (once ready) draws the analysis
    // plot and the filter's strip, and says in the status bar when a response is silent. Does
    // nothing before start-up has finished.
    void computeResponses();
    // The status bar's message about a silent mic or pickup response, shown or taken away.
    void showSilence();
    // Stores the current filter as channel 0 ("Left") or 1 ("Right").
    void setChannel(int channel);
    // "Set response as...": stores the filter as that channel, draws the summary and hands the new
    // filters to whatever plays them.
    void setAsChannel(int channel);
    // Draws the summary plot with the display range.
    void drawSummary();
    // After fs changed: draws the summary again where a channel's note changed with it (made at
    // another rate, or current again); otherwise leaves it as it is.
    void followRate();
    // Draws the mic and pickup impulse responses on the Files page.
    void drawImpulseStrips();

    // Change notification (message 1124) from a bound control: range rule, pickup controls,
    // strips, analysis, summary.
    void ParamChanged(const TNotifyEvent& message);
    // Either pickup-model track bar moved: runs the analysis only.
    void betaTrackBarChange();
    void cbSetAsLeftClick();
    void cbSetAsRightClick();
    void LoadMicClick();
    void LoadPickupClick();
    // What a Load button does once its dialog returned `path`: remembers it in the channel's
    // dialog and reads it (channel 0 = mic, 1 = pickup), then redraws strips and analysis. Only a
    // file read whole changes anything: its response, its name in the file field and fs (its
    // rate; a pair of different rates is said once in a box naming both). A file that cannot be
    // opened ("File error") or fails the format check ("WAVE file format error") is reported in a
    // box naming it, and the response, the field, fs and the pickup file re-read at notifications
    // stay as they were. A name that lost bytes on its way through a Qt string (not valid UTF-8)
    // is reported as such.
    void loadWaveFile(int channel, const QString& path);
    // Export: asks first (askExportAnyway) when a channel was never stored or was made at another
    // rate than the one now in force, then runs ExportDialog and exportBodyData.
    void Export1Click();
    // Offers a recording to the "Listen" group: loads channel `channel` (1-based) of `path` and
    // renders it through Left and Right at once (a take just used for learning, for example).
    void offerRecording(const QString& path, int channel);
    // Writes the body data file from the two channels and the name in guitarName, recomputing
    // nothing; a failure is reported ("File error") and the file at `path` keeps its old
    // contents. True if written; the status bar then says so for a few seconds ("Exported " and
    // the file's name), and a failure clears what it said before.
    bool exportBodyData(const QString& path);
    // The project commands ("Open project...", Ctrl+O; "Save project...", Ctrl+S): run OpenDialog
    // or SaveDialog, then openProject or saveProject with the chosen file.
    void Open1Click();
    void Save1Click();
    // Reads the project file at `path` into both responses and fs (remembered in OpenDialog),
    // then puts them in place with setResponsesFrom (the file's name); the summary is not
    // redrawn. A file that cannot be opened or is rejected is reported ("Project file error") and
    // changes nothing. True if read; the status bar then says "Opened " and the file's name.
    bool openProject(const QString& path);
    // Puts a pair of responses in place as coming from one source, after the caller has written
    // both halves of analyzer->irData and fs (a project read, a learned pair) and set the delays
    // and enablePickup as the source requires: both file fields name `sourceName` (for example
    // "guitar.smp" or "take.wav (learned)"), both responses take fs as their rate, the pickup
    // file is forgotten (later notifications re-read nothing over the pair), the delay fields and
    // the Pickup box show their variables, and the pickup controls follow enablePickup as at a
    // notification: while the pickup is off the new pickup response is kept in memory and the
    // analysis uses the unit impulse ("--" in the field), and ticking Pickup gives it back with
    // its name. Then redraws the strips and runs the analysis.
    // pickupName, when given, names the pickup response instead (two tracks of one session);
    // learned: the pair was learned from a take (its strips are drawn scaled to their peaks).
    void setResponsesFrom(const QString& sourceName, const QString& pickupName = {}, bool learned = false);
    // Writes both responses as a project file; a failure is reported ("File error") and the file
    // at `path` keeps its old contents. True if written; the status bar then says "Saved " and the
    // file's name.
    bool saveProject(const QString& path);
    // "Learn from recording...": opens the learning dialog (window-modal, made once and kept, so
    // it remembers its choices), with `take` chosen in it when not empty.
    void LearnRecordingClick();
    void openLearnDialog(const QString& take = {});
    // "Record take...": opens the recording dialog (made once and kept, so that a take may go on
    // while the window is used; the Left and Right filters stored meanwhile reach its monitor).
    void RecordTakeClick();
    // "Use" in the learning dialog: sets the learned pair as the batch tool does (learned mic
    // response over a unit-impulse pickup, the take's rate, delays 0, pickup enabled) and puts it
    // in place with setResponsesFrom ("take.wav (learned)"); the take's pickup channel is then
    // offered to the "Listen" group (offerRecording).
    void useLearnedTake(const TLearnedTake& take);
    // The program's arguments after its name, as the bytes the system passed: an optional project
    // file, opened at once, or a WAVE file (suffix .wav), loaded as the mic response. Without one
    // nothing happens; further arguments are ignored with a note on standard error. The names
    // reach the readers byte for byte, so names that are not valid UTF-8 open too.
    void openCommandLine(const std::vector<std::string>& arguments);
    // The same for names held as Qt strings (encoded with QFile::encodeName).
    void openArguments(const QStringList& arguments);
    // Mouse over the two plots: cursor readout into the first status panel, legend moves. The
    // pointer leaving a plot clears the readout (NoCursor).
    // x, y in image pixels (logical); shift holds the keys and buttons held.
    void ImageFreqDomain1MouseMove(TShiftState shift, int x, int y);
    void ImageFreqDomain2MouseMove(TShiftState shift, int x, int y);
    // Only a press on the handler's own image reaches its plot.
    void ImageFreqDomain1MouseDown(QObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    void ImageFreqDomain2MouseDown(QObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    // Mouse over the background of the Analysis or Summary page: clears the readout.
    void NoCursor();

    // Pages.
    QTabWidget* pageCtrl;
    QWidget* TabSheet1; // "Files"
    QWidget* TabSheet2; // "Analysis"
    QWidget* TabSheet4; // "Summary"

    // Page "Files".
    QLabel* Label3;
    TEditNum* dCompMic;
    QLabel* Label4;
    QLabel* Label19;
    QLabel* Label1;
    QLineEdit* MicFName;
    QPushButton* LoadMic;
    QScrollArea* ScrollBox1;
    TImageWidget* ImageTimeDomainL;
    QLabel* Label2;
    TEditNum* dCompPickup;
    QLabel* Label16;
    TICheckBox* EnablePickup;
    QLineEdit* PickupFName;
    QPushButton* LoadPickup;
    QScrollArea* ScrollBox2;
    TImageWidget* ImageTimeDomainR;

    // Page "Analysis".
    TICheckBox* cbRefMic;
    TICheckBox* cbPickup;
    TICheckBox* cbFilter;
    QFrame* Panel1;
    TImageWidget* ImageFreqDomain1;
    QGroupBox* GroupBox1;
    QLabel* Label17;
    QLabel* Label8;
    QSlider* alphaTrackBar;
    QSlider* betaTrackBar;
    QLabel* alphaValue; // the track bars' positions, right of their captions
    QLabel* betaValue;
    TICheckBox* cbUseMinPhase;
    QLabel* Label10;
    TEditNum* eGain;
    QLabel* Label11;
    QLabel* BlendLabel; // "Blend", below "Set response as..."
    TEditNum* eBlend;
    QLabel* BlendUnit; // "%"
    QGroupBox* GroupBox2;
    QPushButton* cbSetAsLeft;
    QPushButton* cbSetAsRight;
    QScrollArea* ScrollBox3;
    TImageWidget* ImageTimeDomainI;

    // Page "Summary".
    QFrame* Panel2;
    TImageWidget* ImageFreqDomain2;
    QLabel* Label14;
    TEditNum* eHelm;
    QLabel* Label12;
    QLabel* Label15;
    TEditNum* eFirstBody;
    QLabel* Label13;
    QLabel* NameLabel; // "Name", left of guitarName
    QLineEdit* guitarName;
    QPushButton* BitBtn1;
    TIrExportButton* ExportIr; // "Export WAVE IR...", below Export
    QPlainTextEdit* Memo1;
    TListenGroup* Listen; // "Listen": render, play with A/B, save as WAVE

    // Display row and status bar.
    QLabel* Label7;
    TEditNum* fLow;
    TEditNum* fHigh;
    QLabel* Label9;
    QLabel* Label5;
    TEditNum* splRange;
    QLabel* Label6;
    QStatusBar* StatusBar;
    QLabel* statusPanels[2]; // 150 and 50 pixels wide; [0] holds the cursor readout
    TStatusNote* statusNote; // the rest of the bar: what Export, Save and Open wrote or read

    // Project commands, at the top right of the page "Files".
    QPushButton* OpenProject;
    QPushButton* SaveProject;
    QPushButton* LearnRecording;           // "Learn from recording...", left of them
    TLearnDialog* learnDialog = nullptr;   // made by the first openLearnDialog; a child of the window
    QPushButton* RecordTake;               // "Record take...", left of "Learn from recording..."
    TRecordDialog* recordDialog = nullptr; // made by the first RecordTakeClick; a child of the window

    // Shows a warning box with one OK button over the window; an overlong text (a path of
    // thousands of characters) is shortened in its middle so that the box fits on the screen.
    // Tests replace it to capture the caption and the full text without a modal box. The window
    // calls it queued, once the event that caused the warning has been handled (a click that took
    // the focus from a field completes first), so tests process events before they look.
    std::function<void(const QString& caption, const QString& text)> showWarning;
    // Asks whether to export although a channel is not current (the text says which and why):
    // a box with "Export anyway" and "Cancel" (the default). True to export. Tests replace it.
    std::function<bool(const QString& caption, const QString& text)> askExportAnyway;

    // Where the responses come from. The name is what the channel's file field shows while the
    // response is in use (a WAVE file's name, a project's, a learned take's; "" for none); the
    // rate (Hz) is that of the file or pair it came from, 0 for the unit impulse of start-up.
    struct TResponseSource {
        QString name;
        std::int32_t rate = 0;
    };
    TResponseSource micSource;
    TResponseSource pickupSource;
    // The WAVE file (as bytes) whose pickup response is re-read at every notification while the
    // pickup is enabled: the last pickup file read whole; empty when the pickup came from
    // elsewhere (start-up, a project, a learned pair). A re-read changes the response only when
    // the file is read whole, never fs, and shows a rejection only when it differs from the last
    // re-read's outcome.
    std::string pickupFile;
    // The pickup response while Pickup is unticked (the analysis then uses a unit impulse); it is
    // given back when Pickup is ticked again, before the pickup file (if any) is re-read.
    TWaveSamples keptPickup{};
    bool pickupKept = false; // keptPickup holds the response (Pickup is unticked)

    // What a file dropped on the window does: a ".smp" file anywhere opens as a project; an audio
    // file with two or more channels anywhere opens the learning dialog with it as the take; a
    // ".wav" file on the mic strip loads as the mic response, on the pickup strip (only while the
    // pickup is enabled) as the pickup response. Only one existing local file is taken; suffixes in
    // any case.
    enum class TDropTarget { none, project, micResponse, pickupResponse, take };
    // The target of dropping `mime` at `pos` (window coordinates).
    TDropTarget dropTargetAt(const QMimeData* mime, QPoint pos) const;

    // File dialogs.
    TFileDialog OpenMicDialog;
    TFileDialog OpenPickupDialog;
    TFileDialog ExportDialog;
    TFileDialog SaveDialog;
    TFileDialog OpenDialog;

protected:
    // The window's dispatch: the change notification goes to ParamChanged.
    bool event(QEvent* e) override;
    // Hints that are kept but not shown, and the pages' NoCursor.
    bool eventFilter(QObject* watched, QEvent* e) override;
    // Keeps the fixed size: a maximised or full-screen state is turned back into the normal one.
    void changeEvent(QEvent* e) override;
    // Tab and Shift+Tab: the next or previous visible, enabled control of tabOrders() in the
    // cycle of the page control, the current page and the display row.
    bool focusNextPrevChild(bool next) override;
    // Files dropped on the window itself (the strips, the pages' background, the display row).
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void createWindow();
    void createFilesPage();
    void createAnalysisPage();
    void createSummaryPage();
    void createDisplayRow();
    void nameControls();
    // The focus order, page by page: [0] the window's own controls, [1 + i] those of page i.
    std::vector<std::vector<QWidget*>> tabOrders() const;
    void setTabOrder();
    void startUp();
    void connectPlotImages();
    void createProjectCommands();
    // Accepts a drag or drop at `pos` (window coordinates) as a copy when it has a target; the
    // drop itself then runs once the drag has ended, so a message box cannot hold up the source.
    bool acceptDrag(QDropEvent* e, QPoint pos, bool drop);
    // Drag events on a child that takes drops of its own (the text fields): files with a target
    // are taken over by the window, anything else is left to the child.
    bool filterDragEvent(QWidget* child, QEvent* e);
    // Queues showWarning(caption, text).
    void warn(const QString& caption, const QString& text);
    // Reads a WAVE file named by bytes into a scratch response and commits it only when read
    // whole (see loadWaveFile). nameLost: the name came through a Qt string that may have lost
    // bytes. True if loaded.
    bool loadWave(int channel, const std::string& path, bool nameLost);
    // openProject for a name as bytes.
    bool openProjectFile(const std::string& path, bool nameLost);
    // The message for a file that cannot be opened: its own, or, where the name lost bytes on its
    // way through a Qt string and names no file, that the name is not valid UTF-8.
    QString cannotOpenMessage(const TFileResult& r, const std::string& path, bool nameLost) const;
    // The outcome of writing `path`: a failure in a box (the user must not believe it was written),
    // a success as `done` and the file name in the status bar. True on success.
    bool reportWrite(const TFileResult& r, const QString& done, const QString& path);
    // Step 2 of the notification: the pickup controls, field and response by enablePickup.
    void updatePickup();
    // The re-read of pickupFile at a notification.
    void rereadPickup();
    // Says once, in a box, that the mic and pickup responses have different rates.
    void noteSampleRates();
    // What a numeric field shows is what the analysis uses: the delays become whole samples, the
    // gain and the blend the values of their shown texts.
    void keepShownValues();
    // Moves the window so that it lies inside the available area of its screen where it fits.
    void placeOnScreen();

    bool analysisDrawn = false;                   // the analysis plot and filter strip show a run
    std::array<TChannelState, 2> summaryStates{}; // the channels as the summary last showed them
    bool closing = false;                         // set by the destructor: late notifications are ignored

    TWaveSamples scratch{};       // a WAVE file read before it is committed
    std::string lastPickupReread; // outcome of the last re-read: "" read or not opened, else its message
    std::pair<std::int32_t, std::int32_t> notedRates{0, 0}; // the mic and pickup rates last looked at
};
