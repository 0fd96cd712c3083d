// The batch tool's plots: drawn offscreen on raster images, so no display is needed.
#include "cli/CliRun.h"

#include "dsp/Analyzer.h"
#include "plot/AnalyzerView.h"
#include "plot_qt/RasterImage.h"

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

} // namespace

bool writePlots(TAnalyzer& a, const TCliOptions& o, std::string& error) {
    ensureGuiApplication();
    TAnalyzerView view(a);
    if (!o.plotAnalysis.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        TRasterImage strip(blockLength, 177);
        view.drawAnalysis(plot, strip);
        if (!plot.savePng(o.plotAnalysis, &error))
            return false;
    }
    if (!o.plotSummary.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        view.drawSummary(plot);
        if (!plot.savePng(o.plotSummary, &error))
            return false;
    }
    return true;
}
