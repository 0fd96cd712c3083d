#include "controls/StatusNote.h"

TStatusNote::TStatusNote(QWidget* parent) : QLabel(parent) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &QLabel::clear);
}

void TStatusNote::note(const QString& text) {
    setText(text);
    timer.start(shownMs);
}

void TStatusNote::clearNote() {
    timer.stop();
    clear();
}
