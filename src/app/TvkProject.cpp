// The window's project commands (open, save, the file named on the command line) and the files
// dropped on it.
#include "app/Tvk.h"

#include "app/LearnDialog.h"

#include "dsp/Analyzer.h"
#include "io/ProjectFile.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QScrollArea>
#include <QUrl>

#include <cstdio>

namespace {

const QString projectErrorCaption = QStringLiteral("Project file error");

// The one local file a drag carries; empty for anything else (text, several files, remote URLs).
QString droppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    return urls.front().toLocalFile();
}

} // namespace

void TTvkMain::Open1Click() {
    if (OpenDialog.execute(this))
        openProject(OpenDialog.fileName);
}

void TTvkMain::Save1Click() {
    if (SaveDialog.execute(this))
        saveProject(SaveDialog.fileName);
}

bool TTvkMain::openProject(const QString& path) {
    OpenDialog.fileName = path;
    // The file was picked by the user, so even one that cannot be opened is worth a word.
    const TFileResult r = readProject(*analyzer, localPath(path));
    if (!r.ok) {
        showWarning(projectErrorCaption, QString::fromLocal8Bit(r.message));
        return false;
    }
    // The pickup response now comes from the project: the re-read on every later change must
    // not replace it by the WAVE file chosen before.
    OpenPickupDialog.fileName.clear();
    drawImpulseStrips();
    computeResponses();
    return true;
}

bool TTvkMain::saveProject(const QString& path) {
    const TFileResult r = writeProject(*analyzer, localPath(path));
    if (!r.ok)
        showWarning(QStringLiteral("File error"), QString::fromLocal8Bit(r.message));
    return r.ok;
}

void TTvkMain::openArguments(const QStringList& arguments) {
    if (arguments.isEmpty())
        return;
    if (arguments.size() > 1)
        std::fputs("usage: body-analyzer [PROJECT.smp | MIC.wav]\nOnly the first argument is used.\n",
                   stderr);
    // The desktop entry offers the program for WAVE files too: such a file is taken as the mic
    // response, as if chosen with the mic's Load button.
    const QString& path = arguments.front();
    if (QFileInfo(path).suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0)
        loadWaveFile(0, path);
    else
        openProject(path);
}

TTvkMain::TDropTarget TTvkMain::dropTargetAt(const QMimeData* mime, QPoint pos) const {
    const QFileInfo file(droppedFile(mime));
    if (!file.isFile())
        return TDropTarget::none;
    const QString suffix = file.suffix().toLower();
    if (suffix == QLatin1String("smp"))
        return TDropTarget::project;
    if (isTake(file.filePath()))
        return TDropTarget::take;
    if (suffix != QLatin1String("wav"))
        return TDropTarget::none;
    // The strips show only while the page "Files" is the current one.
    const auto over = [&](const QWidget* strip) {
        return strip->isVisible() && strip->rect().contains(strip->mapFrom(this, pos));
    };
    if (over(ScrollBox1))
        return TDropTarget::micResponse;
    // Like its Load button, the pickup strip takes no file while the pickup is disabled.
    if (over(ScrollBox2) && analyzer->enablePickup)
        return TDropTarget::pickupResponse;
    return TDropTarget::none;
}

bool TTvkMain::acceptDrag(QDropEvent* e, QPoint pos, bool drop) {
    const TDropTarget target = dropTargetAt(e->mimeData(), pos);
    // Only ever a copy: a source offering a move must not delete the file.
    if (target == TDropTarget::none || !(e->possibleActions() & Qt::CopyAction)) {
        e->ignore();
        return false;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    if (drop) {
        const QString path = droppedFile(e->mimeData());
        QMetaObject::invokeMethod(
            this,
            [this, target, path] {
                if (target == TDropTarget::project)
                    openProject(path);
                else if (target == TDropTarget::take)
                    openLearnDialog(path);
                else if (target == TDropTarget::micResponse)
                    loadWaveFile(0, path);
                else if (analyzer->enablePickup)
                    loadWaveFile(1, path);
            },
            Qt::QueuedConnection);
    }
    return true;
}

void TTvkMain::dragEnterEvent(QDragEnterEvent* e) {
    acceptDrag(e, e->position().toPoint(), false);
}

void TTvkMain::dragMoveEvent(QDragMoveEvent* e) {
    acceptDrag(e, e->position().toPoint(), false);
}

void TTvkMain::dropEvent(QDropEvent* e) {
    acceptDrag(e, e->position().toPoint(), true);
}

bool TTvkMain::filterDragEvent(QWidget* child, QEvent* e) {
    auto* drag = static_cast<QDropEvent*>(e); // enter and move events are drop events too
    const QPoint pos = child->mapTo(this, drag->position().toPoint());
    if (dropTargetAt(drag->mimeData(), pos) == TDropTarget::none)
        return false;
    acceptDrag(drag, pos, e->type() == QEvent::Drop);
    return true;
}
