// The keyboard in the window: the focus order of each page, the note on the Summary page, and
// the waveform strips' focus frame and keys.
#include "app/ListenGroup.h"
#include "app/TvkFixture.h"

#include <QScrollBar>

namespace {

// The names of the focused controls from the page's tab bar on, pressing `key` count times.
QStringList focusWalk(TTvkMain& window, int page, Qt::Key key, Qt::KeyboardModifiers modifiers, int count) {
    window.pageCtrl->setCurrentIndex(page);
    window.pageCtrl->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QWidget* focused = QApplication::focusWidget();
        names << (focused == nullptr ? QStringLiteral("(none)") : focused->objectName());
        QTest::keyClick(focused == nullptr ? &window : focused, key, modifiers);
    }
    return names;
}

QStringList reversed(const QStringList& names) {
    QStringList r(names.rbegin(), names.rend());
    r.prepend(r.takeLast()); // the walk back starts at the same tab bar
    return r;
}

} // namespace

// Tab and Shift+Tab visit every control of the page once and come back round: the page's order
// (see tabOrders: the "Listen" group's controls enabled without a recording), then the display row.
TEST_F(TvkTest, TabWalksEachPageAndComesBackRound) {
    const QString bar = QStringLiteral("qt_tabwidget_tabbar");
    const QStringList display = {"fLow", "fHigh", "splRange"};
    const QStringList pages[3] = {
        QStringList{bar, "RecordTake", "LearnRecording", "OpenProject", "SaveProject", "dCompMic", "MicFName", "LoadMic",
                    "ScrollBox1", "dCompPickup", "EnablePickup", "PickupFName", "LoadPickup", "ScrollBox2"} +
            display,
        QStringList{bar, "cbRefMic", "cbPickup", "cbFilter", "cbUseMinPhase", "betaTrackBar", "alphaTrackBar",
                    "ScrollBox3", "cbSetAsLeft", "cbSetAsRight", "eGain", "eBlend"} +
            display,
        QStringList{bar, "eHelm", "eFirstBody", "guitarName", "BitBtn1", "ExportIr", "Memo1", "OpenRecording",
                    "RecordingFName", "ABCorrected"} +
            display,
    };
    for (int page = 0; page < 3; ++page) {
        const QStringList& expected = pages[page];
        EXPECT_EQ(focusWalk(window, page, Qt::Key_Tab, {}, int(expected.size()) + 1),
                  expected + QStringList{bar})
            << "page " << page;
        EXPECT_EQ(focusWalk(window, page, Qt::Key_Tab, Qt::ShiftModifier, int(expected.size()) + 1),
                  reversed(expected) + QStringList{bar})
            << "page " << page;
    }
}

TEST_F(TvkTest, NoteOnTheSummaryPageCannotBeEditedAndTabLeavesIt) {
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    const QString note = window.Memo1->toPlainText();
    window.Memo1->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(window.Memo1, "typed");
    QTest::keyClick(window.Memo1, Qt::Key_Delete);
    QTest::keyClick(window.Memo1, Qt::Key_Return);
    QTest::keyClick(window.Memo1, Qt::Key_Tab);
    EXPECT_EQ(window.Memo1->toPlainText(), note);
    EXPECT_EQ(QApplication::focusWidget(), window.Listen->OpenRecording);
    // The keyboard can still select the text to copy it.
    window.Memo1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(window.Memo1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window.Memo1->textCursor().selectedText().size(), note.size());
}

// A strip with the focus shows a frame; Home and End scroll to its ends, the arrows by a step.
TEST_F(TvkTest, StripsShowTheFocusAndScrollWithHomeAndEnd) {
    const std::pair<int, QScrollArea*> strips[] = {
        {0, window.ScrollBox1}, {0, window.ScrollBox2}, {1, window.ScrollBox3}};
    for (const auto& [page, box] : strips) {
        const std::string name = box->objectName().toStdString();
        window.pageCtrl->setCurrentIndex(page);
        window.pageCtrl->setFocus(Qt::TabFocusReason);
        const QImage unfocused = box->grab().toImage();
        box->setFocus(Qt::TabFocusReason);
        const QImage focused = box->grab().toImage();
        EXPECT_NE(focused, unfocused) << name;
        const QColor highlight = box->palette().color(QPalette::Highlight);
        for (const QPoint edge : {QPoint(0, 100), QPoint(1, 100), QPoint(300, 0),
                                  QPoint(box->width() - 1, 100), QPoint(300, box->height() - 2)})
            EXPECT_EQ(focused.pixelColor(edge), highlight) << name << " at " << edge.x() << "," << edge.y();
        window.pageCtrl->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(box->grab().toImage(), unfocused) << name;

        box->setFocus(Qt::TabFocusReason);
        QScrollBar* bar = box->horizontalScrollBar();
        ASSERT_GT(bar->maximum(), 0) << name;
        QTest::keyClick(box, Qt::Key_End);
        EXPECT_EQ(bar->value(), bar->maximum()) << name;
        QTest::keyClick(box, Qt::Key_Left);
        const int stepBack = bar->maximum() - bar->value();
        EXPECT_GT(stepBack, 0) << name;
        QTest::keyClick(box, Qt::Key_Home);
        EXPECT_EQ(bar->value(), 0) << name;
        QTest::keyClick(box, Qt::Key_Right);
        EXPECT_EQ(bar->value(), stepBack) << name;
    }
}
