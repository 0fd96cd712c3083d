// The batch tool's plots: drawn offscreen on raster images, so no display is needed. Built as the
// plot module (see CliPlotModule.h), the one part of the tool that loads Qt.
#include "cli/CliPlotModule.h"

#include "dsp/Analyzer.h"
#include "plot/AnalyzerView.h"
#include "plot/IrView.h"
#include "plot_qt/RasterImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

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

// The image as PNG bytes; false with `error` naming `path` when it cannot be encoded.
bool encodePng(TRasterImage& image, const std::string& path, std::string& png, std::string& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.image().save(&buffer, "PNG")) {
        error = "Cannot write \"" + path + "\": the PNG could not be encoded";
        return false;
    }
    png.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

// The impulse response the options describe (their first channel, at the filter's own level)
// against the full filter it is made from.
bool drawIrPlot(const TAnalyzer& a, const TCliOptions& o, std::string& png, std::string& error) {
    const TIrExportSettings& s = o.ir.settings;
    const int channel = s.channels == TIrChannels::right ? 1 : 0;
    const int filterRate = a.channelFs[channel];
    if (filterRate <= 0) {
        error = "Cannot write \"" + o.ir.plot + "\": the " + (channel ? "Right" : "Left") +
                " channel holds no filter: it was never stored";
        return false;
    }
    const std::array<double, blockLength>& full = a.channels[channel].filterIr;
    const std::vector<double> ir = shapeImpulseResponse(full, filterRate, s.shape);
    const int rate = s.shape.rate > 0 ? s.shape.rate : filterRate;
    TIrView view(a.plotFreq.data());
    view.setResponses(full, filterRate, ir, rate, irDescription(s, rate));
    TRasterImage plot(o.plotWidth, o.plotHeight);
    view.draw(plot, a.fMin, a.fMax, a.dbRange);
    return encodePng(plot, o.ir.plot, png, error);
}

bool drawPlots(TAnalyzer& a, const TCliOptions& o, std::string& analysisPng, std::string& summaryPng,
               std::string& irPng, std::string& error) {
    ensureGuiApplication();
    TAnalyzerView view(a);
    if (!o.plotAnalysis.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        TRasterImage strip(blockLength, 177);
        view.drawAnalysis(plot, strip);
        if (!encodePng(plot, o.plotAnalysis, analysisPng, error))
            return false;
    }
    if (!o.plotSummary.empty()) {
        TRasterImage plot(o.plotWidth, o.plotHeight);
        view.drawSummary(plot);
        if (!encodePng(plot, o.plotSummary, summaryPng, error))
            return false;
    }
    return o.ir.plot.empty() || drawIrPlot(a, o, irPng, error);
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::size_t bodyAnalyzerCliPlotsStamp() {
    return cliPlotModuleStamp();
}

extern "C" __attribute__((visibility("default"))) bool
bodyAnalyzerCliDrawPlots(TAnalyzer& a, const TCliOptions& o, std::string& analysisPng,
                         std::string& summaryPng, std::string& irPng, std::string& error) {
    // Nothing may unwind into the program, which runs on a C++ runtime of its own.
    try {
        return drawPlots(a, o, analysisPng, summaryPng, irPng, error);
    } catch (const std::exception& e) {
        error = std::string("the plots could not be drawn: ") + e.what();
    } catch (...) {
        error = "the plots could not be drawn";
    }
    return false;
}
