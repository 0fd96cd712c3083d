// The window's project commands (open, save, the file named on the command line) and the files
// dropped on it.
#include "app/Tvk.h"

#include "app/LearnDialog.h"
#include "controls/Editnum.h"
#include "controls/Icheckbox.h"
#include "controls/StatusNote.h"
#include "dsp/Analyzer.h"
#include "io/ProjectFile.h"
#include "plot/AnalyzerView.h"

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollArea>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

const QString projectErrorCaption = QStringLiteral("Project file error");

// The one local file a drag carries, as bytes; empty for anything else (text, several files,
// remote URLs). The URL's percent-encoded path gives the name's bytes exactly, also where they
// are not valid UTF-8.
std::string droppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    const QUrl& url = urls.front();
    if (!url.host().isEmpty())
        return QFile::encodeName(url.toLocalFile()).toStdString();
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// The suffix of a file name in lower case ("" without one).
QString suffixOf(const std::string& path) {
    const std::string name = stripPath(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? QString() : QString::fromLatin1(name.substr(dot + 1)).toLower();
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
    return openProjectFile(QFile::encodeName(path).toStdString(), path.contains(QChar::ReplacementCharacter));
}

bool TTvkMain::openProjectFile(const std::string& path, bool nameLost) {
    // The file was picked by the user, so even one that cannot be opened is worth a word.
    const TFileResult r = readProject(*analyzer, path);
    if (!r.ok) {
        statusNote->clearNote();
        warn(projectErrorCaption,
             r.cannotOpen ? cannotOpenMessage(r, path, nameLost) : QString::fromLocal8Bit(r.message));
        return false;
    }
    const QString name = QFile::decodeName(QByteArray::fromStdString(stripPath(path)));
    statusNote->note(QStringLiteral("Opened ") + name);
    eBlend->setValue(); // the file's blend
    setResponsesFrom(name);
    return true;
}

void TTvkMain::setResponsesFrom(const QString& sourceName, const QString& pickupName, bool learned) {
    TAnalyzer& a = *analyzer;
    view->learnedResponse = {learned, learned};
    micSource = {sourceName, a.fs};
    pickupSource = {pickupName.isEmpty() ? sourceName : pickupName, a.fs};
    notedRates = {a.fs, a.fs};
    MicFName->setText(sourceName);
    // The pickup response now comes from this source: the re-read on every later change must not
    // replace it by the WAVE file chosen before.
    pickupFile.clear();
    OpenPickupDialog.fileName.clear();
    lastPickupReread.clear();
    pickupKept = false; // the pickup half of irData is the new one; kept below while Pickup is off
    dCompMic->setValue();
    dCompPickup->setValue();
    EnablePickup->set();
    updatePickup();
    drawImpulseStrips();
    computeResponses();
    followRate();
}

bool TTvkMain::saveProject(const QString& path) {
    return reportWrite(writeProject(*analyzer, localPath(path)), QStringLiteral("Saved "), path);
}

void TTvkMain::openArguments(const QStringList& arguments) {
    std::vector<std::string> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument).toStdString());
    openCommandLine(bytes);
}

void TTvkMain::openCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return;
    if (arguments.size() > 1)
        std::fputs("usage: body-analyzer [PROJECT.smp | MIC.wav]\nOnly the first argument is used.\n",
                   stderr);
    // The desktop entry offers the program for WAVE files too: such a file is taken as the mic
    // response, as if chosen with the mic's Load button. The name stays in bytes to the reader.
    const std::string& path = arguments.front();
    const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
    if (suffixOf(path) == QLatin1String("wav")) {
        OpenMicDialog.fileName = shown;
        loadWave(0, path, false);
    } else {
        OpenDialog.fileName = shown;
        openProjectFile(path, false);
    }
}

TTvkMain::TDropTarget TTvkMain::dropTargetAt(const QMimeData* mime, QPoint pos) const {
    const std::string file = droppedFile(mime);
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error))
        return TDropTarget::none;
    const QString suffix = suffixOf(file);
    if (suffix == QLatin1String("smp"))
        return TDropTarget::project;
    if (isTake(QFile::decodeName(QByteArray::fromStdString(file))))
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
        const std::string path = droppedFile(e->mimeData());
        QMetaObject::invokeMethod(
            this,
            [this, target, path] {
                const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
                if (target == TDropTarget::project) {
                    OpenDialog.fileName = shown;
                    openProjectFile(path, false);
                } else if (target == TDropTarget::take) {
                    openLearnDialog(shown);
                } else if (target == TDropTarget::micResponse) {
                    OpenMicDialog.fileName = shown;
                    loadWave(0, path, false);
                } else if (analyzer->enablePickup) {
                    OpenPickupDialog.fileName = shown;
                    loadWave(1, path, false);
                }
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
