// The foot of the learning and recording dialogs: a status line taking the room, then the
// buttons that end the dialog's work ("Use", "Cancel" or "Close").
#pragma once

#include <QPushButton>

#include <initializer_list>

class QHBoxLayout;
class QLabel;

// A dialog's button is its default while it has the focus, and the style draws the default
// button as it draws the focus: a dotted frame inside shows where the focus is.
class TFocusButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* e) override;
};

// A row of `status` (stretching) followed by `buttons`, in this order.
QHBoxLayout* dialogFoot(QLabel* status, std::initializer_list<QPushButton*> buttons);
