// TStatusNote: an area of a status bar that confirms what was just done ("Saved guitar.smp") for a
// few seconds and then clears itself.
#pragma once

#include <QLabel>
#include <QTimer>

class TStatusNote : public QLabel {
public:
    explicit TStatusNote(QWidget* parent = nullptr);

    // Shows text for shownMs milliseconds from now; a later note replaces it and restarts the time.
    void note(const QString& text);
    // Clears the note at once.
    void clearNote();

    int shownMs = 5000;

private:
    QTimer timer;
};
