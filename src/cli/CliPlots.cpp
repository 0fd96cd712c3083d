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
// environment (a missing runtime folder, say) are not for its users. A fatal one would abort the
// process: it ends the tool with status 1 instead, as any output that cannot be written does.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "body-analyzer-cli: %s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg)
        std::_Exit(1);
}

// Text needs a GUI application for its fonts. It is made only when a plot is drawn, and always on
// the offscreen platform, whatever the environment names: the tool needs no display, and an
// inherited QT_QPA_PLATFORM=xcb without one must not stop it.
void ensureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    qInstallMessageHandler(quietQtMessages);
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
