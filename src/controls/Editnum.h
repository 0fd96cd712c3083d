// TEditNum: a one-line edit for one number, bound to a double and/or an int32 of the analyzer
// state. It shows the value through a printf format (always in the C locale), accepts typed text
// on Enter or when the focus leaves, steps the value with Up/Down (the large step with Ctrl held),
// keeps it within limits, writes it back to the bound variables and then sends the change
// notification to its window.
#pragma once

#include "controls/NotifyEvent.h"

#include <QLineEdit>

#include <cstdint>

class QObject;

class TEditNum : public QLineEdit, public TNotifySender {
public:
    // How the arrow keys step: stepAdd adds/subtracts the step, stepMultiply multiplies/divides.
    enum EMode : std::uint8_t { stepAdd = 0, stepMultiply = 1 };

    // Size of a display buffer for setValue(x, buffer): the text is at most 99 characters.
    static constexpr int displayBufferSize = 100;

    explicit TEditNum(QWidget* parent = nullptr);

    // limits(low, high), steps(small, large, mode), format(fmt). Does not redisplay.
    void init(const char* fmt, double low, double high, double small, double large, EMode mode);
    // The same for a value shown in dB: limits and steps are given in dB and stored as linear
    // factors (10^(dB/20)); the steps multiply. Does not redisplay.
    void init20Log10(const char* fmt, double low, double high, double small, double large);
    void limits(double low, double high);
    void steps(double small, double large, EMode mode);
    // printf format with one double conversion, at most 19 characters (longer is cut).
    void format(const char* fmt);
    // Display factor: the text shows value * scale.
    void setScale(double s);

    // Bind a variable (not owned; null unbinds) and show its value. Sends nothing.
    void setRef(double* ref);
    void setRef(std::int32_t* ref);

    // Reloads value from the bound double, then from the bound int, and shows it.
    void setValue();
    // value := x, then shows it.
    void setValue(double x);
    // Formats x as the field would show it into buffer (displayBufferSize chars); changes nothing.
    void setValue(double x, char* buffer) const;

    // Writes value to the bound variables where it differs (the double only when the displayed
    // texts differ; the int rounded half up). True if anything was written.
    bool modRef();
    // Clamps value into [lowLimit, highLimit] (a NaN becomes lowLimit) and shows it.
    void modifyToLimits();
    // lowLimit <= x <= highLimit; false for a NaN.
    bool insideLimits(double x) const;
    double getValue() const { return value; }
    bool isChanged() const { return false; }
    void reset() {}

protected:
    // Enter commits the typed text, Up/Down step; an accepted change is clamped, written back
    // and notified. The key is then passed on to the line edit unchanged.
    virtual void KeyDown(QKeyEvent* event);
    // The focus left the field: commits the typed text, notifying only if a bound variable changed.
    virtual void DoExit();

    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void display();
    // The candidate value of the typed text (see the reading rules in Editnum.cpp).
    double readText() const;

    EMode mode = stepAdd;
    double* refDouble = nullptr;
    std::int32_t* refInt = nullptr;
    double value = 0.0;
    char fmt[20] = "%f";
    double lowLimit = -1e100;
    double highLimit = 1e100;
    double smallStep = 1.0;
    double largeStep = 1.0;
    double scale = 1.0;
    bool dbDisplay = false;
};
