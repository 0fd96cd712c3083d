// "Export WAVE IR...": the Summary page's button that writes the stored filters as a WAVE impulse
// response for loaders, and its small dialog (channel, length, rate, format, phase, normalisation).
// The dialog's choices and the last folder are remembered between runs (QSettings, group
// "irExport").
#pragma once

#include "io/IrExport.h"

#include <QDialog>
#include <QPushButton>

#include <functional>

class QComboBox;
class QSpinBox;
class TAnalyzer;

class TIrExportDialog : public QDialog {
public:
    explicit TIrExportDialog(QWidget* parent = nullptr);

    // The choices as settings; a length in milliseconds is taken at `filterRate` Hz where the rate
    // is the filter's own.
    TIrExportSettings settings(int filterRate) const;
    // Reads and writes the remembered choices.
    void restore();
    void remember() const;

    QComboBox* channel;
    QComboBox* length; // 1024, 2048, 4096, 8192 samples, or milliseconds
    QSpinBox* milliseconds;
    QComboBox* rate;
    QComboBox* format;
    QComboBox* phase;
    QComboBox* normalisation;
};

class TIrExportButton : public QPushButton {
public:
    // analyzer: gives the state whose stored channels are written; stem: the start of the suggested file
    // name (the instrument's name); note: what the status bar says after a write; warn: a box with
    // a caption and a text.
    TIrExportButton(QWidget* parent, std::function<const TAnalyzer&()> analyzer,
                    std::function<QString()> stem, std::function<void(const QString&)> note,
                    std::function<void(const QString& caption, const QString& text)> warn);

    // The click: the dialog, a refusal when a chosen channel was never stored, the file, the write.
    void exportIr();

    // Asks for the settings (the dialog; false on Cancel) and for the file (empty on Cancel), given
    // the suggested name. Tests replace them.
    std::function<bool(TIrExportSettings& settings)> askSettings;
    std::function<QString(const QString& suggested)> askFile;

private:
    std::function<const TAnalyzer&()> analyzer;
    std::function<QString()> stem;
    std::function<void(const QString&)> note;
    std::function<void(const QString&, const QString&)> warn;
};
