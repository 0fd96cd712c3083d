// TStripBox: the scroll box of a waveform strip. It scrolls its image horizontally only; while it
// has the keyboard focus a frame in the palette's highlight colour, two pixels wide, lines its
// edge (over its own border and the outermost pixels of the strip and the scroll bar). Left and
// Right scroll by a step, Home and End to the strip's beginning and end.
#pragma once

#include <QScrollArea>

class TStripBox : public QScrollArea {
public:
    // The box at x, y (parent coordinates), w x h pixels, holding image (ownership passes).
    TStripBox(QWidget* parent, int x, int y, int w, int h, QWidget* image);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QWidget* focusFrame; // shown only while the box has the focus; lets the mouse through
};
