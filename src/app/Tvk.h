// TTvkMain: the program's one window. It owns the analyzer state, the display objects (plots,
// curve lists, curves) and the five file dialogs, lays out the three pages with every control,
// binds the controls to the state at start-up and reacts to their change notifications.
// The window's client area is fixed at 744 x 714 pixels; sizes and positions are logical pixels.
#pragma once

#include "app/FileDialog.h"
#include "plot/Plot1.h"

#include <QWidget>

#include <functional>
#include <memory>

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
class TNotifyEvent;

class TTvkMain : public QWidget {
public:
    static constexpr int clientWidth = 744;
    static constexpr int clientHeight = 714;

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
    // Draws the summary plot with the display range.
    void drawSummary();
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
    // dialog, shows its name, reads it (channel 0 = mic, 1 = pickup), redraws strips and analysis.
    void loadWaveFile(int channel, const QString& path);
    void Export1Click();
    // Writes the body data file from the two channels and the name in guitarName, recomputing
    // nothing; a failure is reported ("File error") and the file at `path` keeps its old
    // contents. True if written.
    bool exportBodyData(const QString& path);
    // The project commands ("Open project...", Ctrl+O; "Save project...", Ctrl+S): run OpenDialog
    // or SaveDialog, then openProject or saveProject with the chosen file.
    void Open1Click();
    void Save1Click();
    // Reads the project file at `path` into both responses (remembered in OpenDialog), then
    // redraws the strips and the analysis; the summary is not redrawn. OpenPickupDialog forgets
    // its file, so the pickup re-read of later notifications keeps the project's response. A file
    // that cannot be opened or is rejected is reported ("Project file error") and changes
    // nothing. True if read.
    bool openProject(const QString& path);
    // Writes both responses as a project file; a failure is reported ("File error") and the file
    // at `path` keeps its old contents. True if written.
    bool saveProject(const QString& path);
    // The program's arguments after its name: an optional project file, opened at once, or a WAVE
    // file (suffix .wav), loaded as the mic response. Without one nothing happens; further
    // arguments are ignored with a note on standard error.
    void openArguments(const QStringList& arguments);
    // Mouse over the two plots: cursor readout into the first status panel, legend moves.
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
    TICheckBox* cbUseMinPhase;
    QLabel* Label10;
    TEditNum* eGain;
    QLabel* Label11;
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
    QLineEdit* guitarName;
    QPushButton* BitBtn1;
    QPlainTextEdit* Memo1;

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

    // Project commands, at the top right of the page "Files".
    QPushButton* OpenProject;
    QPushButton* SaveProject;

    // Shows a warning box with one OK button over the window; an overlong text (a path of
    // thousands of characters) is shortened in its middle so that the box fits on the screen.
    // Tests replace it to capture the caption and the full text without a modal box.
    std::function<void(const QString& caption, const QString& text)> showWarning;

    // What a file dropped on the window does: a ".smp" file anywhere opens as a project; a ".wav"
    // file on the mic strip loads as the mic response, on the pickup strip (only while the pickup
    // is enabled) as the pickup response. Only one existing local file is taken; suffixes in any case.
    enum class TDropTarget { none, project, micResponse, pickupResponse };
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
    // Shows a rejected WAVE file's message; a file that cannot be opened shows nothing.
    void readWave(int channel, const QString& path);

    bool analysisDrawn = false; // the analysis plot and filter strip show a run
    bool closing = false;       // set by the destructor: late notifications are ignored
};
