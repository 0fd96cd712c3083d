#include "controls/Icheckbox.h"

#include "controls/NotifyEvent.h"

TICheckBox::TICheckBox(QWidget* parent) : TICheckBox(QString(), parent) {}

TICheckBox::TICheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    setEnabled(false);
    // toggled fires on every change of the checked state and never for an assignment that
    // leaves it as it was.
    connect(this, &QCheckBox::toggled, this, [this] { Click(); });
}

void TICheckBox::setRef(bool* r) {
    ref = r;
    setEnabled(r != nullptr);
    set();
}

void TICheckBox::set() {
    const bool target = ref != nullptr && *ref;
    skipClick = isChecked() != target; // true exactly when the assignment below causes a Click
    setChecked(target);
}

void TICheckBox::Click() {
    if (skipClick) {
        skipClick = false;
        return;
    }
    if (ref != nullptr)
        *ref = isChecked();
    notifyParent();
    if (OnClick)
        OnClick();
}
