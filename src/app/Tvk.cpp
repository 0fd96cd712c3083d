#include "app/Tvk.h"

#include "app/IrExportDialog.h"
#include "app/ListenGroup.h"
#include "controls/Editnum.h"
#include "controls/Icheckbox.h"
#include "controls/NotifyEvent.h"
#include "controls/StatusNote.h"
#include "controls/StripBox.h"
#include "dsp/Analyzer.h"
#include "dsp/ChannelNotes.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/ImageWidget.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>

#include <algorithm>
#include <vector>

namespace {

// The window's font: 8 points at 96 pixels per inch. "MS Sans Serif" does not exist here; Arial
// (Liberation Sans), slightly narrowed, is the nearest in width, so the texts fit the controls
// as laid out.
QFont windowFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    f.setStretch(95);
    return f;
}

QFont boldArial(int pixels) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

void setTextColor(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

// A label at its text's natural size; (x, y) is the top of the text.
QLabel* label(QWidget* parent, const char* text, int x, int y) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->adjustSize();
    l->move(x, y);
    return l;
}

// A control's hint, where it has one.
void setHint(QWidget* w, const char* hint) {
    if (hint != nullptr)
        w->setToolTip(QString::fromLatin1(hint));
}

QPushButton* button(QWidget* parent, const char* text, int x, int y, int w, int h,
                    const char* hint = nullptr) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setGeometry(x, y, w, h);
    setHint(b, hint);
    return b;
}

TEditNum* editNum(QWidget* parent, int x, int y, int w) {
    auto* e = new TEditNum(parent);
    e->setGeometry(x, y, w, 21);
    return e;
}

// Where a number field, its caption (before it) and its unit (after it) stand; labels are placed
// by the top of their text.
struct TFieldPlace {
    const char* caption;
    int captionX, captionY;
    int x, y, w; // the field
    const char* hint;
    const char* unit;
    int unitX, unitY;
};

// The number field at `at` with its hint, between its caption and unit labels.
TEditNum* unitField(QWidget* parent, const TFieldPlace& at, QLabel*& caption, QLabel*& unit) {
    caption = label(parent, at.caption, at.captionX, at.captionY);
    TEditNum* e = editNum(parent, at.x, at.y, at.w);
    setHint(e, at.hint);
    unit = label(parent, at.unit, at.unitX, at.unitY);
    return e;
}

TICheckBox* checkBox(QWidget* parent, const char* caption, int x, int y, int w, const char* hint = nullptr) {
    auto* c = new TICheckBox(QString::fromLatin1(caption), parent);
    c->setGeometry(x, y, w, 17);
    setHint(c, hint);
    return c;
}

QLineEdit* fileNameField(QWidget* parent, int x, int y, int w) {
    auto* e = new QLineEdit(QStringLiteral("--"), parent);
    e->setReadOnly(true);
    e->setGeometry(x, y, w, 21);
    return e;
}

// A panel with a lowered bevel framing a plot.
QFrame* plotPanel(QWidget* parent, int x, int y) {
    auto* p = new QFrame(parent);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setLineWidth(1);
    p->setGeometry(x, y, 545, 361);
    return p;
}

// A scroll box that scrolls its strip image horizontally only and shows when it has the focus.
QScrollArea* stripBox(QWidget* parent, int x, int y, int w, int h, QWidget* image) {
    return new TStripBox(parent, x, y, w, h, image);
}

// A pickup-model track bar, range and steps from its parameter's row (0 to 50): vertical with
// position 0 at the top, ticks every 2 on both sides; Up and Page Up move toward the top.
QSlider* trackBar(QWidget* parent, int x, int y, EParameter position) {
    const TParameter& p = parameter(position);
    auto* t = new QSlider(Qt::Vertical, parent);
    t->setRange(static_cast<int>(p.minimum), static_cast<int>(p.maximum));
    t->setSingleStep(static_cast<int>(p.smallStep));
    t->setPageStep(static_cast<int>(p.largeStep));
    t->setTickInterval(2);
    t->setTickPosition(QSlider::TicksBothSides);
    t->setInvertedAppearance(true);
    t->setInvertedControls(true);
    t->setGeometry(x, y, 30, 153);
    return t;
}

// The position of a track bar, shown at (x, y) and kept up to date.
QLabel* trackBarValue(QWidget* parent, QSlider* bar, int x, int y) {
    QLabel* l = label(parent, "50", x, y); // the widest position sets the size
    l->setNum(bar->value());
    QObject::connect(bar, &QSlider::valueChanged, l, qOverload<int>(&QLabel::setNum));
    return l;
}

// The text of a warning box. A message naming a path of thousands of characters would make a box
// far taller than the screen, or, for one long name, a line cut off before its reason: the middle
// of an overlong message gives way to an ellipsis (its beginning and its end, where the file's
// name and the reason stand, are kept), and a long run without a blank or slash, where the line
// could not break, gets invisible break points.
QString boxText(const QString& message) {
    constexpr qsizetype head = 120;
    constexpr qsizetype tail = 180;
    constexpr int longestRun = 40;
    QString text = message;
    if (text.size() > head + 1 + tail) {
        // Never between the two halves of a surrogate pair.
        const qsizetype left = text.at(head - 1).isHighSurrogate() ? head - 1 : head;
        const qsizetype right = text.at(text.size() - tail).isLowSurrogate() ? tail - 1 : tail;
        text = text.left(left) + QChar(0x2026) + text.right(right);
    }
    QString shown;
    int run = 0;
    for (const QChar c : text) {
        if (run >= longestRun && !c.isLowSurrogate()) {
            shown += QChar(0x200B); // zero-width space: a place to break the line
            run = 0;
        }
        shown += c;
        run = c.isSpace() || c == u'/' ? 0 : run + 1;
    }
    return shown;
}

constexpr const char* delayHint = "Compensate initial delay (remove intial zero samples)";

constexpr const char* memoLines[] = {
    "NOTE !!!",
    "",
    "To be recognized well by the Sonmira the exported .smd ",
    "files must begin with 5 initial digits followed by a white space ",
    "and then an arbitraty name. ",
    "e.g",
    "",
    "01234 My favourite guitar (mono).smd ",
    "",
    "is a valid file name ",
};

} // namespace

TTvkMain::TTvkMain(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      OpenMicDialog(TFileDialog::open, "wav", "Mic. impulse resp. (*.wav)|*.wav|All files (*.*)|*.*"),
      OpenPickupDialog(TFileDialog::open, "wav", "Pickup impulse resp. (*.wav)|*.wav|All files (*.*)|*.*"),
      ExportDialog(TFileDialog::save, "smd", "Sonmira data file (*.smd)|*.smd|All files (*.*)|*.*"),
      SaveDialog(TFileDialog::save, "smp", "Sonmira project file (*.smp)|*.smp|All files (*.*)|*.*"),
      OpenDialog(TFileDialog::open, "smp", "Sonmira project file (*.smp)|*.smp|All files (*.*)|*.*") {
    createWindow();
    startUp();
}

TTvkMain::~TTvkMain() {
    // The controls go first, while the state they are bound to still exists; a focus change
    // during their destruction must not run the analysis any more.
    closing = true;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
}

void TTvkMain::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange &&
        (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        resize(clientWidth, clientHeight);
    }
}

void TTvkMain::createWindow() {
    setWindowTitle(QStringLiteral("Instrument body analyzer for the Sonmira v0.01"));
    setFont(windowFont());
    move(x0, y0);
    setFixedSize(clientWidth, clientHeight);
    placeOnScreen();

    pageCtrl = new QTabWidget(this);
    pageCtrl->setGeometry(0, 0, 720, 640);
    pageCtrl->setFixedSize(720, 640);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet4 = new QWidget;
    pageCtrl->addTab(TabSheet1, QStringLiteral("Files"));
    pageCtrl->addTab(TabSheet2, QStringLiteral("Analysis"));
    pageCtrl->addTab(TabSheet4, QStringLiteral("Summary"));
    createFilesPage();
    createAnalysisPage();
    createSummaryPage();
    createDisplayRow();
    createProjectCommands();
    nameControls();
    setTabOrder();
    pageCtrl->setCurrentIndex(0);
}

void TTvkMain::placeOnScreen() {
    // The place is that of the frame, which is not known before the window is shown: room is left
    // for a title bar and a border of a few pixels. On a screen of 768 pixels the bottom of the
    // window at its usual place would run off the screen.
    const QScreen* s = screen();
    if (s == nullptr)
        return;
    const QRect area = s->availableGeometry();
    constexpr int border = 4;
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int x =
        std::clamp(x0, area.left(), std::max(area.left(), area.right() + 1 - clientWidth - 2 * border));
    const int y = std::clamp(y0, area.top(),
                             std::max(area.top(), area.bottom() + 1 - clientHeight - title - 2 * border));
    move(x, y);
}

void TTvkMain::createProjectCommands() {
    showWarning = [this](const QString& caption, const QString& text) {
        QMessageBox::warning(this, caption, boxText(text));
    };
    askExportAnyway = [this](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Warning, caption, boxText(text), QMessageBox::NoButton, this);
        const QPushButton* anyway = box.addButton(QStringLiteral("Export anyway"), QMessageBox::AcceptRole);
        box.setDefaultButton(box.addButton(QMessageBox::Cancel));
        box.exec();
        return box.clickedButton() == anyway;
    };

    // Files may be dropped anywhere on the window; the text fields, which take dropped text
    // themselves, pass dropped files on to it.
    setAcceptDrops(true);
    for (QWidget* child : findChildren<QWidget*>())
        if (child->acceptDrops())
            child->installEventFilter(this);
}

void TTvkMain::createFilesPage() {
    QWidget* p = TabSheet1;
    // In the free space at the top right, above the mic's Load button; made first, as Tab visits
    // them first.
    LearnRecording = button(TabSheet1, "Learn from recording...", 384, 2, 120, 24,
                            "Learn both responses from a recording of playing with the pickup and a mic");
    connect(LearnRecording, &QPushButton::clicked, this, &TTvkMain::LearnRecordingClick);
    RecordTake = button(TabSheet1, "Record take...", 280, 2, 100, 24,
                        "Record a take from an audio input, watch it learn, hear the correction live");
    connect(RecordTake, &QPushButton::clicked, this, &TTvkMain::RecordTakeClick);
    OpenProject = button(TabSheet1, "Open project...", 508, 2, 100, 24,
                         "Open a project file with both impulse responses (Ctrl+O)");
    SaveProject = button(TabSheet1, "Save project...", 612, 2, 100, 24,
                         "Save both impulse responses as a project file (Ctrl+S)");
    connect(OpenProject, &QPushButton::clicked, this, &TTvkMain::Open1Click);
    connect(SaveProject, &QPushButton::clicked, this, &TTvkMain::Save1Click);
    // The shortcuts belong to the window, so they work on every page, not only on "Files".
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
            &TTvkMain::Open1Click);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            &TTvkMain::Save1Click);

    dCompMic = unitField(p, {"Delay compensation", 6, 12, 104, 8, 57, delayHint, "samples", 162, 12}, Label3,
                         Label4);
    Label19 = new QLabel(QStringLiteral("Note!, only 16 bit mono files are supported"), p);
    Label19->setFont(boldArial(11));
    setTextColor(Label19, QPalette::WindowText, Qt::red);
    // Between the two responses, as the top row holds the project and learning commands.
    Label19->setGeometry(264, 308, 233, 14);
    Label1 = label(p, "Mic", 8, 40);
    MicFName = fileNameField(p, 80, 32, 449);
    LoadMic = button(p, "Load", 536, 30, 75, 25, "Load impulse response measured with mic.");
    ImageTimeDomainL = new TImageWidget(8192, 217);
    ScrollBox1 = stripBox(p, 0, 56, 633, 241, ImageTimeDomainL);

    dCompPickup = unitField(p, {"Delay compensation", 6, 308, 104, 304, 57, delayHint, "samples", 162, 308},
                            Label2, Label16);
    EnablePickup = checkBox(p, "Pickup", 8, 334, 65,
                            "Enable/include under saddle pickup response in computation of filter");
    PickupFName = fileNameField(p, 80, 330, 441);
    LoadPickup = button(p, "Load", 528, 324, 75, 25, "Load impulse response measured with under saddle mic.");
    ImageTimeDomainR = new TImageWidget(8192, 217);
    ScrollBox2 = stripBox(p, 0, 352, 633, 241, ImageTimeDomainR);

    connect(LoadMic, &QPushButton::clicked, this, &TTvkMain::LoadMicClick);
    connect(LoadPickup, &QPushButton::clicked, this, &TTvkMain::LoadPickupClick);
}

void TTvkMain::createAnalysisPage() {
    QWidget* p = TabSheet2;
    cbRefMic = checkBox(p, "Mic", 0, 0, 97, "Display mic response");
    // These two keep their hints but never show them.
    cbPickup = checkBox(p, "Pickup", 104, 0, 97, "Display under saddle pickup response");
    cbFilter = checkBox(p, "Filter", 208, 0, 97, "Display filter response");
    cbPickup->installEventFilter(this);
    cbFilter->installEventFilter(this);

    Panel1 = plotPanel(p, 0, 24);
    ImageFreqDomain1 = new TImageWidget(540, 356, Panel1);
    ImageFreqDomain1->move(2, 2);

    GroupBox1 = new QGroupBox(QStringLiteral("Pickup model"), p);
    GroupBox1->setGeometry(552, 16, 121, 209);
    Label17 = label(GroupBox1, "alpha", 12, 16);
    Label8 = label(GroupBox1, "beta", 68, 16);
    alphaTrackBar = trackBar(GroupBox1, 11, 32, EParameter::alpha);
    alphaTrackBar->setToolTip(QStringLiteral("Straighten up response"));
    betaTrackBar = trackBar(GroupBox1, 67, 32, EParameter::beta);
    betaTrackBar->setToolTip(QStringLiteral("Compress peaks"));
    // Each position as a number right of its caption, so a setting can be noted and repeated.
    alphaValue = trackBarValue(GroupBox1, alphaTrackBar, 42, 16);
    betaValue = trackBarValue(GroupBox1, betaTrackBar, 98, 16);
    cbUseMinPhase = checkBox(GroupBox1, "Clean", 16, 184, 57, "Clean pickup response");

    eGain = unitField(
        p, {"Gain", 552, 236, 584, 232, 41, "Adjust gain (aim for ~0dB average gain)", "dB", 632, 236},
        Label10, Label11);

    eBlend = unitField(p,
                       {"Blend", 552, 356, 584, 352, 41,
                        "Percent corrected; the rest is the bare pickup at the same loudness", "%", 632, 356},
                       BlendLabel, BlendUnit);
    BlendLabel->setBuddy(eBlend);

    GroupBox2 = new QGroupBox(QStringLiteral("Set response as..."), p);
    GroupBox2->setGeometry(552, 264, 97, 81);
    cbSetAsLeft = button(GroupBox2, "Left", 6, 16, 51, 25, "Set as left channel response");
    cbSetAsRight = button(GroupBox2, "Right", 6, 48, 51, 25, "Set as right channel response");

    ImageTimeDomainI = new TImageWidget(8192, 177);
    ScrollBox3 = stripBox(p, 0, 400, 633, 201, ImageTimeDomainI);

    connect(alphaTrackBar, &QSlider::valueChanged, this, &TTvkMain::betaTrackBarChange);
    connect(betaTrackBar, &QSlider::valueChanged, this, &TTvkMain::betaTrackBarChange);
    connect(cbSetAsLeft, &QPushButton::clicked, this, &TTvkMain::cbSetAsLeftClick);
    connect(cbSetAsRight, &QPushButton::clicked, this, &TTvkMain::cbSetAsRightClick);
    p->setMouseTracking(true);
    p->installEventFilter(this);
}

void TTvkMain::createSummaryPage() {
    QWidget* p = TabSheet4;
    Panel2 = plotPanel(p, 0, 8);
    ImageFreqDomain2 = new TImageWidget(540, 356, Panel2);
    ImageFreqDomain2->move(2, 2);

    eHelm = unitField(p, {"Helmholtz", 560, 28, 608, 24, 57, "Guitar hole resonance ", "Hz", 672, 27},
                      Label14, Label12);
    eFirstBody = unitField(p, {"1st body", 560, 52, 608, 48, 57, "1st body resonance", "Hz", 672, 51},
                           Label15, Label13);

    NameLabel = label(p, "Name", 4, 380);
    guitarName = new QLineEdit(QStringLiteral("Guitar"), p);
    guitarName->setGeometry(36, 376, 501, 21);
    guitarName->setToolTip(QStringLiteral("The instrument's name, written into the exported file"));
    NameLabel->setBuddy(guitarName);

    BitBtn1 = button(p, "Export", 558, 88, 107, 33, "Export to .smd file");
    BitBtn1->setFont(boldArial(21));
    setTextColor(BitBtn1, QPalette::ButtonText, QColor(0x00, 0x80, 0x00));
    connect(BitBtn1, &QPushButton::clicked, this, &TTvkMain::Export1Click);
    ExportIr = new TIrExportButton(
        p, [this]() -> const TAnalyzer& { return *analyzer; }, [this] { return guitarName->text(); },
        [this](const QString& text) { statusNote->note(text); },
        [this](const QString& caption, const QString& text) { warn(caption, text); });
    ExportIr->setGeometry(558, 128, 107, 25);

    QStringList lines;
    for (const char* line : memoLines)
        lines << QString::fromLatin1(line);
    Memo1 = new QPlainTextEdit(lines.join('\n'), p);
    Memo1->setGeometry(376, 432, 289, 153);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A note to read: not editable, Tab moves on, and the caret shows where the focus is.
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setTabChangesFocus(true);

    Listen = new TListenGroup(
        [this] { return TRenderFilters::fromAnalyzer(*analyzer); },
        [this](const QString& caption, const QString& text) { showWarning(caption, text); }, p);
    Listen->setGeometry(0, 402, 370, 204);

    p->setMouseTracking(true);
    p->installEventFilter(this);
}

void TTvkMain::createDisplayRow() {
    Label7 = label(this, "Display", 8, 651);
    fLow = editNum(this, 56, 648, 57);
    fLow->setToolTip(QStringLiteral("Lowest displayed frequency"));
    fHigh = editNum(this, 120, 648, 57);
    fHigh->setToolTip(QStringLiteral("Highest displayed frequency"));
    Label9 = label(this, "Hz", 184, 651);
    splRange = unitField(this, {"Range", 246, 652, 280, 648, 41, "Displayed dB range", "dB", 328, 652},
                         Label5, Label6);

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setGeometry(0, 695, 744, 19);
    const int panelWidths[2] = {150, 50};
    for (int i = 0; i < 2; ++i) {
        statusPanels[i] = new QLabel(StatusBar);
        statusPanels[i]->setFixedWidth(panelWidths[i]);
        statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar->addWidget(statusPanels[i]);
    }
    statusNote = new TStatusNote(StatusBar);
    StatusBar->addWidget(statusNote, 1);
}

void TTvkMain::nameControls() {
    // Every control carries its member name, as on the form.
#define BA_NAMED(w) std::pair<QObject*, const char*>(w, #w)
    const std::pair<QObject*, const char*> named[] = {
        BA_NAMED(pageCtrl),
        BA_NAMED(TabSheet1),
        BA_NAMED(TabSheet2),
        BA_NAMED(TabSheet4),
        BA_NAMED(Label3),
        BA_NAMED(dCompMic),
        BA_NAMED(Label4),
        BA_NAMED(Label19),
        BA_NAMED(Label1),
        BA_NAMED(MicFName),
        BA_NAMED(LoadMic),
        BA_NAMED(ScrollBox1),
        BA_NAMED(ImageTimeDomainL),
        BA_NAMED(Label2),
        BA_NAMED(dCompPickup),
        BA_NAMED(Label16),
        BA_NAMED(EnablePickup),
        BA_NAMED(PickupFName),
        BA_NAMED(LoadPickup),
        BA_NAMED(ScrollBox2),
        BA_NAMED(ImageTimeDomainR),
        BA_NAMED(RecordTake),
        BA_NAMED(LearnRecording),
        BA_NAMED(OpenProject),
        BA_NAMED(SaveProject),
        BA_NAMED(cbRefMic),
        BA_NAMED(cbPickup),
        BA_NAMED(cbFilter),
        BA_NAMED(Panel1),
        BA_NAMED(ImageFreqDomain1),
        BA_NAMED(GroupBox1),
        BA_NAMED(Label17),
        BA_NAMED(Label8),
        BA_NAMED(alphaTrackBar),
        BA_NAMED(betaTrackBar),
        BA_NAMED(alphaValue),
        BA_NAMED(betaValue),
        BA_NAMED(cbUseMinPhase),
        BA_NAMED(Label10),
        BA_NAMED(eGain),
        BA_NAMED(Label11),
        BA_NAMED(BlendLabel),
        BA_NAMED(eBlend),
        BA_NAMED(BlendUnit),
        BA_NAMED(GroupBox2),
        BA_NAMED(cbSetAsLeft),
        BA_NAMED(cbSetAsRight),
        BA_NAMED(ScrollBox3),
        BA_NAMED(ImageTimeDomainI),
        BA_NAMED(Panel2),
        BA_NAMED(ImageFreqDomain2),
        BA_NAMED(Label14),
        BA_NAMED(eHelm),
        BA_NAMED(Label12),
        BA_NAMED(Label15),
        BA_NAMED(eFirstBody),
        BA_NAMED(Label13),
        BA_NAMED(NameLabel),
        BA_NAMED(guitarName),
        BA_NAMED(BitBtn1),
        BA_NAMED(ExportIr),
        BA_NAMED(Memo1),
        BA_NAMED(Label7),
        BA_NAMED(fLow),
        BA_NAMED(fHigh),
        BA_NAMED(Label9),
        BA_NAMED(Label5),
        BA_NAMED(splRange),
        BA_NAMED(Label6),
        BA_NAMED(StatusBar),
        BA_NAMED(statusNote),
    };
#undef BA_NAMED
    for (const auto& [control, name] : named)
        control->setObjectName(QString::fromLatin1(name));
    const std::pair<QObject*, const char*> listen[] = {
        {Listen, "Listen"},
        {Listen->OpenRecording, "OpenRecording"},
        {Listen->RecordingFName, "RecordingFName"},
        {Listen->RecordingChannel, "RecordingChannel"},
        {Listen->CancelRender, "CancelRender"},
        {Listen->PlayStop, "PlayStop"},
        {Listen->PlayPosition, "PlayPosition"},
        {Listen->ABCorrected, "ABCorrected"},
        {Listen->ABPickup, "ABPickup"},
        {Listen->SaveWave, "SaveWave"},
    };
    for (const auto& [control, name] : listen)
        control->setObjectName(QString::fromLatin1(name));
}

std::vector<std::vector<QWidget*>> TTvkMain::tabOrders() const {
    // The keyboard focus order of the whole window, kept here and nowhere else. Tab walks the
    // window's own list (the page control, then the display row); from the page control it
    // enters the current page and walks that page's list before going on to fLow.
    //
    // The Files page is in reading order: the commands at its top, then each response's rows.
    // The other pages keep the form's own order (the Analysis page visits beta before alpha); the
    // controls added to them since come after it, in reading order (top left to bottom right, row
    // by row): a new control is inserted there at its place in that order, a new group box as its
    // focusable controls.
    std::vector<QWidget*> summary{eHelm, eFirstBody, guitarName, BitBtn1, ExportIr, Memo1};
    const std::vector<QWidget*> listen = Listen->tabOrder();
    summary.insert(summary.end(), listen.begin(), listen.end());
    return {
        {pageCtrl, fLow, fHigh, splRange},
        // Files.
        {RecordTake, LearnRecording, OpenProject, SaveProject, dCompMic, MicFName, LoadMic, ScrollBox1, dCompPickup,
         EnablePickup, PickupFName, LoadPickup, ScrollBox2},
        // Analysis. The group boxes take no focus themselves: their controls stand in their place.
        {cbRefMic, cbPickup, cbFilter, cbUseMinPhase, betaTrackBar, alphaTrackBar, ScrollBox3, cbSetAsLeft,
         cbSetAsRight, eGain, eBlend},
        // Summary, with the "Listen" group's controls after the form's own.
        summary,
    };
}

void TTvkMain::setTabOrder() {
    // Qt's focus chain, in the same order, for what Qt itself decides by it. Chained parent by
    // parent: one chain from pageCtrl through its own pages would cut the controls out of the
    // cycle.
    for (const auto& order : tabOrders())
        for (std::size_t i = 0; i + 1 < order.size(); ++i)
            QWidget::setTabOrder(order[i], order[i + 1]);
}

bool TTvkMain::focusNextPrevChild(bool next) {
    // Tab and Shift+Tab follow tabOrders() themselves: Qt's chain keeps the inner parts of a
    // compound control (the note's viewport and scroll bars) where they were created, and from
    // there Shift+Tab would jump back into that control instead of to the control before.
    const std::vector<std::vector<QWidget*>> orders = tabOrders();
    std::vector<QWidget*> cycle{orders[0].front()};
    const std::vector<QWidget*>& page = orders.at(1 + std::size_t(pageCtrl->currentIndex()));
    cycle.insert(cycle.end(), page.begin(), page.end());
    cycle.insert(cycle.end(), orders[0].begin() + 1, orders[0].end());

    // A control with a focus proxy (the page control and its tab bar) holds the focus there.
    const auto holder = [](const QWidget* control) {
        while (control->focusProxy() != nullptr)
            control = control->focusProxy();
        return control;
    };
    const QWidget* focused = focusWidget();
    const auto at =
        std::find_if(cycle.begin(), cycle.end(), [&](const QWidget* c) { return holder(c) == focused; });
    if (at == cycle.end())
        return QWidget::focusNextPrevChild(next);
    const std::size_t n = cycle.size();
    const std::size_t from = std::size_t(at - cycle.begin());
    for (std::size_t step = 1; step < n; ++step) {
        QWidget* candidate = cycle[(next ? from + step : from + n - step) % n];
        if (candidate->isVisible() && candidate->isEnabled() && (candidate->focusPolicy() & Qt::TabFocus)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void TTvkMain::startUp() {
    // The state's arrays start zero, with both responses unit impulses, fs 44100 and every
    // parameter at its start value; its FFT engine prepares its plans at once and the plot grid is
    // filled with it.
    analyzer = std::make_unique<TAnalyzer>();
    TAnalyzer& a = *analyzer;
    // The five file dialogs exist as settings (members); Qt's dialog is made when one runs.

    // Curves, curve lists and both plots; the curve check boxes edit the curves' visible flags.
    view = std::make_unique<TAnalyzerView>(a);
    const std::pair<TICheckBox*, TCurve*> curveBoxes[] = {
        {cbRefMic, &view->micCurve}, {cbPickup, &view->pickupCurve}, {cbFilter, &view->filterCurve}};
    for (const auto& [box, curve] : curveBoxes) {
        box->setNotifyParent(this, paramChangedMessage, 1, 0);
        box->setRef(&curve->visible);
    }

    // The numeric fields: format, limits and steps from the parameter table, each bound to its
    // variable and, but for the two resonances, sending the change notification with its code.
    constexpr std::uint32_t silent = 0;
    const struct {
        TEditNum* field;
        EParameter parameter;
        double* value;
        std::uint32_t code;
    } fields[] = {
        {fLow, EParameter::fMin, &a.fMin, 10},
        {fHigh, EParameter::fMax, &a.fMax, 11},
        {splRange, EParameter::dbRange, &a.dbRange, 2},
        {dCompMic, EParameter::delayMic, &a.delayMic, 1},
        {dCompPickup, EParameter::delayPickup, &a.delayPickup, 1},
        {eGain, EParameter::gain, &a.gainDb, 1},
        {eBlend, EParameter::blend, &a.blend, 1},
        {eHelm, EParameter::helmholtz, &a.fHelm, silent},
        {eFirstBody, EParameter::firstBody, &a.fFirstBody, silent},
    };
    for (const auto& f : fields) {
        const TParameter& p = parameter(f.parameter);
        f.field->init(p.format, p.minimum, p.maximum, p.smallStep, p.largeStep, TEditNum::stepAdd);
        if (f.code != silent)
            f.field->setNotifyParent(this, paramChangedMessage, f.code, 0);
        f.field->setRef(f.value);
    }

    // Each position change runs the analysis, which does nothing before start-up ends (but reads
    // both positions into the analyzer).
    alphaTrackBar->setValue(static_cast<int>(startValue(EParameter::alpha)));
    betaTrackBar->setValue(static_cast<int>(startValue(EParameter::beta)));

    EnablePickup->setNotifyParent(this, paramChangedMessage, 1, 0);
    EnablePickup->setRef(&a.enablePickup);
    cbUseMinPhase->setNotifyParent(this, paramChangedMessage, 1, 0);
    cbUseMinPhase->setRef(&a.useMinPhase);

    drawImpulseStrips();
    connectPlotImages();
    computeResponses(); // not ready yet: computes and draws nothing
    setChannel(0);
    setChannel(1);
    drawSummary();
    a.analysisReady = true;
}

void TTvkMain::computeResponses() {
    analyzer->alpha = alphaTrackBar->value();
    analyzer->beta = betaTrackBar->value();
    analyzer->computeResponses();
    if (analyzer->analysisReady) {
        view->drawAnalysis(ImageFreqDomain1->image(), ImageTimeDomainI->image());
        analysisDrawn = true;
        showSilence();
    }
}

void TTvkMain::showSilence() {
    // A silent response gives a filter that says little; the status bar says why, for a while.
    static const QString micText = QStringLiteral("The mic response is silent");
    static const QString pickupText = QStringLiteral("The pickup response is silent");
    const QString text = analyzer->micSilent                                ? micText
                         : analyzer->pickupSilent && analyzer->enablePickup ? pickupText
                                                                            : QString();
    const QString shown = StatusBar->currentMessage();
    if (!text.isEmpty() && text != shown)
        StatusBar->showMessage(text, 10000);
    else if (text.isEmpty() && (shown == micText || shown == pickupText))
        StatusBar->clearMessage();
}

void TTvkMain::connectPlotImages() {
    ImageFreqDomain1->onMouseMove = [this](TShiftState shift, int x, int y) {
        ImageFreqDomain1MouseMove(shift, x, y);
    };
    ImageFreqDomain2->onMouseMove = [this](TShiftState shift, int x, int y) {
        ImageFreqDomain2MouseMove(shift, x, y);
    };
    // The readout belongs to the pointer over a plot: it goes when the pointer leaves.
    ImageFreqDomain1->onMouseLeave = [this] { NoCursor(); };
    ImageFreqDomain2->onMouseLeave = [this] { NoCursor(); };
    ImageFreqDomain1->onMouseDown = [this](TMouseButton button, TShiftState shift, int x, int y) {
        ImageFreqDomain1MouseDown(ImageFreqDomain1, button, shift, x, y);
    };
    ImageFreqDomain2->onMouseDown = [this](TMouseButton button, TShiftState shift, int x, int y) {
        ImageFreqDomain2MouseDown(ImageFreqDomain2, button, shift, x, y);
    };
    // A new screen pixel ratio blanks an image: draw again what it showed, computing nothing.
    const auto redrawAnalysis = [this] {
        if (analysisDrawn)
            view->drawAnalysis(ImageFreqDomain1->image(), ImageTimeDomainI->image());
    };
    ImageFreqDomain1->onRedrawNeeded = redrawAnalysis;
    ImageTimeDomainI->onRedrawNeeded = redrawAnalysis;
    ImageFreqDomain2->onRedrawNeeded = [this] { drawSummary(); };
    ImageTimeDomainL->onRedrawNeeded = [this] { drawImpulseStrips(); };
    ImageTimeDomainR->onRedrawNeeded = [this] { drawImpulseStrips(); };
}

void TTvkMain::setChannel(int channel) {
    analyzer->setChannel(channel);
}

void TTvkMain::drawSummary() {
    view->drawSummary(ImageFreqDomain2->image());
    for (int c = 0; c < channelCount; ++c)
        summaryStates[static_cast<std::size_t>(c)] = channelState(*analyzer, c);
}

void TTvkMain::followRate() {
    for (int c = 0; c < channelCount; ++c)
        if (summaryStates[static_cast<std::size_t>(c)] != channelState(*analyzer, c)) {
            drawSummary();
            return;
        }
}

void TTvkMain::drawImpulseStrips() {
    view->drawImpulseStrips(ImageTimeDomainL->image(), ImageTimeDomainR->image());
}
