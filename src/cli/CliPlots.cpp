// The batch tool's plots: drawn offscreen on raster images, so no display is needed.
#include "cli/CliRun.h"

#include "dsp/Analyzer.h"
#include "io/SafeWriter.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/RasterImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The batch tool reports through its exit status and messages of its own; Qt's notes about the
// environment (a missing runtime folder, say) are not for its users.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "body-analyzer-cli: %s\n", message.toLocal8Bit().constData());
}

// Text needs a GUI application for its fonts; the offscreen platform needs no display.
void ensureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    qInstallMessageHandler(quietQtMessages);
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "body-analyzer-cli";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

// Writes the image as PNG through writeFileSafely, like every other output of the tool: a file
// that may not be written is refused, a failed write keeps the old file, the message names the file.
bool savePng(TRasterImage& image, const std::string& path, std::string& error) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.image().save(&buffer, "PNG")) {
        error = "Cannot write \"" + path + "\": the PNG could not be encoded";
        return false;
    }
    const TFileResult r =
        writeFileSafely(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    error = r.message;
    return r.ok;
}

} // namespace

bool writePlots(TAnalyzer& a, const TCliOptions& o, std::string& error) {
    ensureGuiApplication();
    TAnalyzerView view(a);
    if (!o.plotAnalysis.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        TRasterImage strip(blockLength, 177);
        view.drawAnalysis(plot, strip);
        if (!savePng(plot, o.plotAnalysis, error))
            return false;
    }
    if (!o.plotSummary.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        view.drawSummary(plot);
        if (!savePng(plot, o.plotSummary, error))
            return false;
    }
    return true;
}
