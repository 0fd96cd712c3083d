// TFileDialog: the settings of one open or save file dialog (kind, default extension, filter, the
// last chosen file). The Qt dialog itself is created only while it runs, so holding five of them
// costs nothing at start-up.
#pragma once

#include <QString>

#include <string>

class QWidget;

class TFileDialog {
public:
    enum EKind { open, save };

    // filter: pairs of description and pattern separated by '|', e.g. "Text (*.txt)|*.txt".
    TFileDialog(EKind kind, const QString& defaultExt, const QString& filter);

    // Runs the dialog modally over `parent`, starting at the last chosen file. True when the user
    // confirmed; fileName then holds the chosen path. A cancel leaves fileName as it was.
    bool execute(QWidget* parent);

    // The filter in Qt's form: "description (pattern);;...", where the all-files pattern "*.*"
    // becomes "*" so that files without an extension are listed too.
    QString qtFilter() const;

    EKind kind;
    QString defaultExt; // appended to a typed name without extension
    QString filter;
    QString fileName; // full path of the last chosen file; empty before the first choice
};

// A path as the file functions take it: in the local 8-bit encoding.
inline std::string localPath(const QString& path) {
    return path.toLocal8Bit().toStdString();
}
