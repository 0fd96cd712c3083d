#include "controls/Editnum.h"

#include "controls/EditnumText.h"
#include "controls/NotifyEvent.h"
#include "base/CFormat.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <cmath>
#include <cstdio>
#include <cstring>

TEditNum::TEditNum(QWidget* parent) : QLineEdit(parent) {}

void TEditNum::init(const char* f, double low, double high, double small, double large, EMode m) {
    limits(low, high);
    steps(small, large, m);
    format(f);
}

void TEditNum::init20Log10(const char* f, double low, double high, double small, double large) {
    limits(std::pow(10.0, low / 20), std::pow(10.0, high / 20));
    steps(std::pow(10.0, small / 20), std::pow(10.0, large / 20), stepMultiply);
    dbDisplay = true;
    format(f);
}

void TEditNum::limits(double low, double high) {
    lowLimit = low;
    highLimit = high;
}

void TEditNum::steps(double small, double large, EMode m) {
    smallStep = small;
    largeStep = large;
    mode = m;
}

void TEditNum::format(const char* f) {
    std::snprintf(fmt, sizeof fmt, "%s", f);
}

void TEditNum::setScale(double s) {
    scale = s;
}

void TEditNum::setRef(double* ref) {
    refDouble = ref;
    setValue();
}

void TEditNum::setRef(std::int32_t* ref) {
    refInt = ref;
    setValue();
}

void TEditNum::setValue() {
    if (refDouble != nullptr)
        value = *refDouble;
    if (refInt != nullptr)
        value = *refInt;
    display();
}

void TEditNum::setValue(double x) {
    value = x;
    display();
}

void TEditNum::setValue(double x, char* buffer) const {
    const double shown = dbDisplay ? 20 * std::log10(x * scale) : x * scale;
    formatC(buffer, displayBufferSize, fmt, shown);
}

void TEditNum::display() {
    char text[displayBufferSize];
    setValue(value, text);
    setText(QString::fromLatin1(text));
}

bool TEditNum::modRef() {
    bool changed = false;
    if (refDouble != nullptr) {
        // Only a change visible in the display reaches the bound double.
        char now[displayBufferSize];
        char bound[displayBufferSize];
        setValue(value, now);
        setValue(*refDouble, bound);
        if (std::strcmp(now, bound) != 0) {
            *refDouble = value;
            changed = true;
        }
    }
    if (refInt != nullptr) {
        // Rounded half up, clamped to int32 first (the default limits are +-1e100).
        const std::int32_t n = editNumIntValue(value);
        if (*refInt != n) {
            *refInt = n;
            changed = true;
        }
    }
    return changed;
}

void TEditNum::modifyToLimits() {
    if (value > highLimit)
        value = highLimit;
    if (!(value >= lowLimit))
        value = lowLimit;
    display();
}

bool TEditNum::insideLimits(double x) const {
    return lowLimit <= x && x <= highLimit;
}

// Text outside Latin-1 reads as '?', which ends the number like any other non-digit.
double TEditNum::readText() const {
    const QByteArray bytes = text().toLatin1();
    return editNumTextValue(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                            scale, dbDisplay);
}

void TEditNum::KeyDown(QKeyEvent* event) {
    const double step = (event->modifiers() & Qt::ControlModifier) ? largeStep : smallStep;
    bool change = false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const double x = readText();
        if (insideLimits(x)) {
            value = x;
            change = true;
        } else {
            display();
        }
        break;
    }
    case Qt::Key_Up:
        value = mode == stepAdd ? value + step : value * step;
        change = true;
        break;
    case Qt::Key_Down:
        value = mode == stepAdd ? value - step : value / step;
        change = true;
        break;
    default:
        break;
    }
    if (change) {
        modifyToLimits();
        display();
        modRef();
        notifyParent(); // also when nothing was written: Enter always notifies
    }
    QLineEdit::keyPressEvent(event);
}

void TEditNum::DoExit() {
    const double x = readText();
    if (insideLimits(x)) {
        setValue(x);
        if (modRef())
            notifyParent();
    } else {
        display();
    }
}

void TEditNum::keyPressEvent(QKeyEvent* event) {
    KeyDown(event);
}

void TEditNum::focusOutEvent(QFocusEvent* event) {
    // Only a move of the focus to another control commits; a context menu opening over the
    // field or the whole window losing activation leaves the typed text as it is.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        DoExit();
    QLineEdit::focusOutEvent(event);
}
