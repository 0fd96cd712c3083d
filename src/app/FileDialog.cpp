#include "app/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

TFileDialog::TFileDialog(EKind kind, const QString& defaultExt, const QString& filter)
    : kind(kind), defaultExt(defaultExt), filter(filter) {}

QString TFileDialog::qtFilter() const {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = parts[i + 1] == "*.*" ? QStringLiteral("*") : parts[i + 1];
        // Qt reads the patterns from the last parenthesis; drop the description's own one.
        const qsizetype open = description.lastIndexOf('(');
        if (open > 0 && description.endsWith(')'))
            description = description.left(open).trimmed();
        filters << description + " (" + pattern + ")";
    }
    return filters.join(";;");
}

bool TFileDialog::execute(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(kind == open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExt);
    dialog.setNameFilters(qtFilter().split(";;"));
    if (!fileName.isEmpty()) {
        dialog.setDirectory(QFileInfo(fileName).absolutePath());
        dialog.selectFile(fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
    return true;
}
