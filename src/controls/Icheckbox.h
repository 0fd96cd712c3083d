// TICheckBox: a check box bound to a bool of the analyzer state. A change of the checked state by
// the user writes the variable and sends the change notification to the window; set() shows the
// variable without writing back or notifying. Created disabled; binding enables it.
#pragma once

#include "controls/NotifyEvent.h"

#include <QCheckBox>

#include <cstdint>
#include <functional>

class QObject;

class TICheckBox : public QCheckBox, public TNotifySender {
public:
    explicit TICheckBox(QWidget* parent = nullptr);
    TICheckBox(const QString& caption, QWidget* parent);

    // Binds the variable (not owned; null unbinds), enables the box exactly when bound, shows it.
    void setRef(bool* r);
    // Shows the bound variable (unchecked when unbound) without writing it or notifying.
    void set();

    // The box's own click event, run after the variable was written and the window notified.
    std::function<void()> OnClick;

protected:
    // Runs on every change of the checked state, by the user or by code. A change caused by
    // set() is swallowed; any other writes the variable, notifies, then runs OnClick.
    virtual void Click();

private:
    bool* ref = nullptr;
    bool skipClick = true; // the next Click comes from set()
};
