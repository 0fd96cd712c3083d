#include "controls/Editnum.h"
#include "controls/GuiApp.h"
#include "controls/Icheckbox.h"
#include "controls/NotifyEvent.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

namespace {

// Stands in for the window: records every change notification and, at that moment, whatever
// `probe` reports (to check what the control had written before notifying).
class TRecorder : public QWidget {
public:
    struct Note {
        std::uint32_t code;
        std::int32_t lParam;
        double probed;
    };
    std::vector<Note> notes;
    std::function<double()> probe = [] { return 0.0; };

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Type(paramChangedMessage)) {
            const auto* n = static_cast<TNotifyEvent*>(e);
            notes.push_back({n->wParam, n->lParam, probe()});
            return true;
        }
        return QWidget::event(e);
    }
};

// A window with one numeric field configured like fLow, and a second focusable field.
class EditNumTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(300, 100);
        field = new TEditNum(&window);
        other = new TEditNum(&window);
        other->move(0, 40);
        field->init("%2.0f", 20, 2000, 1, 20, TEditNum::stepAdd);
        field->setNotifyParent(&window, paramChangedMessage, 10, 0);
        field->setRef(&bound);
        window.probe = [this] { return bound; };
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        field->setFocus();
    }
    void type(const char* text) {
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    double bound = 50;
    TRecorder window;
    TEditNum* field = nullptr;
    TEditNum* other = nullptr;
};

TEST_F(EditNumTest, BindingShowsValueWithoutNotifying) {
    EXPECT_EQ(field->text(), "50");
    EXPECT_DOUBLE_EQ(field->getValue(), 50);
    EXPECT_TRUE(window.notes.empty());
}

TEST_F(EditNumTest, UpStepsAndNotifiesAfterWriting) {
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->text(), "51");
    EXPECT_DOUBLE_EQ(bound, 51);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].code, 10u);
    EXPECT_EQ(window.notes[0].lParam, 0);
    EXPECT_DOUBLE_EQ(window.notes[0].probed, 51); // written before the window heard of it
}

TEST_F(EditNumTest, CtrlUpTakesTheLargeStepAndDownGoesBack) {
    QTest::keyClick(field, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(bound, 70);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_DOUBLE_EQ(bound, 69);
    EXPECT_EQ(field->text(), "69");
    EXPECT_EQ(window.notes.size(), 2u);
}

TEST_F(EditNumTest, SteppingAtALimitStopsThereAndStillNotifies) {
    bound = 2000;
    field->setValue();
    QTest::keyClick(field, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(bound, 2000);
    EXPECT_EQ(field->text(), "2000");
    bound = 25;
    field->setValue();
    QTest::keyClick(field, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(bound, 20);
    EXPECT_EQ(window.notes.size(), 2u);
}

TEST_F(EditNumTest, ArrowsStepTheAcceptedValueNotTheTypedText) {
    type("300");
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->text(), "51");
    EXPECT_DOUBLE_EQ(bound, 51);
}

TEST_F(EditNumTest, RefusedValueRevertsTheTextAndSendsNothing) {
    type("5000");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), "50");
    EXPECT_DOUBLE_EQ(bound, 50);
    type("5000");
    other->setFocus();
    EXPECT_EQ(field->text(), "50");
    EXPECT_DOUBLE_EQ(bound, 50);
    EXPECT_TRUE(window.notes.empty());
}

TEST_F(EditNumTest, EnterAcceptsAndAlwaysNotifies) {
    type("100");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(bound, 100);
    QTest::keyClick(field, Qt::Key_Enter); // the keypad Enter, same value again
    EXPECT_EQ(window.notes.size(), 2u);
}

TEST_F(EditNumTest, LeavingTheFieldNotifiesOnlyOnAChange) {
    type("100");
    other->setFocus();
    EXPECT_DOUBLE_EQ(bound, 100);
    EXPECT_EQ(field->text(), "100");
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_DOUBLE_EQ(window.notes[0].probed, 100);
    field->setFocus();
    other->setFocus(); // leaving again with the text untouched
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(EditNumTest, ChangeBelowTheDisplayedPrecisionKeepsTheBoundValueButNotifies) {
    type("50.3");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(field->getValue(), 50.3);
    EXPECT_DOUBLE_EQ(bound, 50.0);
    EXPECT_EQ(field->text(), "50");
    EXPECT_EQ(window.notes.size(), 1u);
    type("50.4");
    other->setFocus(); // leaving does not notify: nothing visible changed
    EXPECT_DOUBLE_EQ(bound, 50.0);
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(EditNumTest, NonNumericTextReadsAsZero) {
    field->limits(0, 1000);
    type("abc");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(bound, 0);
    EXPECT_EQ(field->text(), " 0");
}

TEST(EditNum, ExponentIsNotDividedByTheScale) {
    TEditNum field;
    field.init("%g", 0, 1e6, 1, 10, TEditNum::stepAdd);
    field.setScale(10);
    field.setText("2e3");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(field.getValue(), 2000);
    EXPECT_EQ(field.text(), "20000");
    field.setText("2000");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(field.getValue(), 200);
}

TEST(EditNum, MultiplyingStepKeepsZeroAtZero) {
    TEditNum field;
    field.init("%g", -10, 10, 2, 4, TEditNum::stepMultiply);
    field.setValue(0.0);
    QTest::keyClick(&field, Qt::Key_Up);
    QTest::keyClick(&field, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(field.getValue(), 0);
    field.setValue(1.5);
    QTest::keyClick(&field, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(field.getValue(), 6);
}

TEST(EditNum, DecibelDisplayStoresLinearFactors) {
    TEditNum field;
    field.init20Log10("%.1f", -20, 20, 6, 20);
    double gain = 1.0;
    field.setRef(&gain);
    EXPECT_EQ(field.text(), "0.0");
    QTest::keyClick(&field, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_NEAR(gain, 10.0, 1e-12);
    EXPECT_EQ(field.text(), "20.0");
    QTest::keyClick(&field, Qt::Key_Up); // beyond +20 dB: clamped
    EXPECT_NEAR(gain, 10.0, 1e-12);
    field.setText("-6.0206");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_NEAR(gain, 0.5, 1e-5);
}

TEST(EditNum, IntBindingRoundsHalfUp) {
    TEditNum field;
    field.init("%.2f", -1e100, 1e100, 1, 10, TEditNum::stepAdd);
    std::int32_t n = 7;
    field.setRef(&n);
    EXPECT_EQ(field.text(), "7.00");
    field.setValue(2.5);
    EXPECT_TRUE(field.modRef());
    EXPECT_EQ(n, 3);
    field.setValue(2.49);
    EXPECT_TRUE(field.modRef());
    EXPECT_EQ(n, 2);
    EXPECT_FALSE(field.modRef());
    // Negative values round half up as well: -1 stays -1 (truncating -0.5 would give 0).
    field.setValue(-1);
    EXPECT_TRUE(field.modRef());
    EXPECT_EQ(n, -1);
    field.setValue(-2.7);
    field.modRef();
    EXPECT_EQ(n, -3);
    field.setValue(-2.5);
    field.modRef();
    EXPECT_EQ(n, -2);
    // Far beyond the int range the binding saturates instead of overflowing.
    field.setValue(1e20);
    field.modRef();
    EXPECT_EQ(n, std::numeric_limits<std::int32_t>::max());
    field.setValue(-1e20);
    field.modRef();
    EXPECT_EQ(n, std::numeric_limits<std::int32_t>::min());
}

TEST(EditNum, FieldWithoutWindowWritesAndSendsNothing) {
    TRecorder window;
    double helm = 100;
    TEditNum field(&window);
    field.init("%2.1f", 50, 300, 1, 10, TEditNum::stepAdd);
    field.setRef(&helm);
    EXPECT_EQ(field.text(), "100.0");
    QTest::keyClick(&field, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(helm, 101);
    EXPECT_TRUE(window.notes.empty());
}

TEST(EditNum, LimitsAndNaN) {
    TEditNum field;
    field.limits(1, 100);
    EXPECT_TRUE(field.insideLimits(1));
    EXPECT_TRUE(field.insideLimits(100));
    EXPECT_FALSE(field.insideLimits(100.0001));
    EXPECT_FALSE(field.insideLimits(std::numeric_limits<double>::quiet_NaN()));
    field.setValue(std::numeric_limits<double>::quiet_NaN());
    field.modifyToLimits();
    EXPECT_DOUBLE_EQ(field.getValue(), 1);
}

// A bound check box in a window that records notifications.
class CheckBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        box = new TICheckBox("Mic", &window);
        box->resize(97, 17);
        box->setNotifyParent(&window, paramChangedMessage, 1, 0);
        window.probe = [this] { return flag ? 1.0 : 0.0; };
        window.show();
    }
    const QPoint indicator{6, 8}; // on the box itself
    bool flag = true;
    TRecorder window;
    TICheckBox* box = nullptr;
};

TEST_F(CheckBoxTest, StartsDisabledAndBindingFollowsTheVariableSilently) {
    EXPECT_FALSE(box->isEnabled());
    box->setRef(&flag);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(box->isChecked());
    bool off = false;
    box->setRef(&off);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(flag); // the old variable was not written
    EXPECT_TRUE(window.notes.empty());
}

TEST_F(CheckBoxTest, UserClickWritesThenNotifiesOnceThenRunsOnClick) {
    box->setRef(&flag);
    int clicks = 0;
    box->OnClick = [&] {
        ++clicks;
        EXPECT_EQ(window.notes.size(), 1u); // the window has handled it already
    };
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator);
    EXPECT_FALSE(flag);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].code, 1u);
    EXPECT_EQ(window.notes[0].probed, 0.0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(CheckBoxTest, SetShowsTheVariableAndTheNextClickCounts) {
    box->setRef(&flag);
    flag = false;
    box->set();
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(window.notes.empty());
    box->set(); // already in line: the next click must not be swallowed
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator);
    EXPECT_TRUE(flag);
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(CheckBoxTest, CheckedByCodeActsLikeAClick) {
    box->setRef(&flag);
    box->setChecked(false);
    EXPECT_FALSE(flag);
    EXPECT_EQ(window.notes.size(), 1u);
}

TEST_F(CheckBoxTest, UnbindingDisablesAndUnchecksSilently) {
    box->setRef(&flag);
    box->setRef(nullptr);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(flag);
    EXPECT_TRUE(window.notes.empty());
}

} // namespace
