#include "plot/AnalyzerView.h"
#include "plot/Strip.h"
#include "plot_qt/ImageWidget.h"
#include "plot_qt/RasterImage.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class GuiApp : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "plot-qt-test";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr)
            app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

::testing::Environment* const guiApp = ::testing::AddGlobalTestEnvironment(new GuiApp);

bool isBlack(const QImage& im, int x, int y) {
    return im.pixel(x, y) == qRgb(0, 0, 0);
}
bool isWhite(const QImage& im, int x, int y) {
    return im.pixel(x, y) == qRgb(255, 255, 255);
}

// Length of the run of pixels of the given colour through (x, y) down column x.
int verticalRun(const QImage& im, int x, int y, QRgb colour) {
    if (im.pixel(x, y) != colour)
        return 0;
    int top = y, bottom = y;
    while (top > 0 && im.pixel(x, top - 1) == colour)
        --top;
    while (bottom + 1 < im.height() && im.pixel(x, bottom + 1) == colour)
        ++bottom;
    return bottom - top + 1;
}

} // namespace

TEST(QtCanvas, AnalysisPlotPixels) {
    auto analyzer = std::make_unique<TAnalyzer>();
    for (int i = 0; i < 500; ++i) {
        analyzer->micDb[i] = 0;
        analyzer->pickupDb[i] = -45;
        analyzer->filterDb[i] = -20;
    }
    TAnalyzerView view(*analyzer);
    TRasterImage plot(540, 356), strip(8192, 177);
    view.drawAnalysis(plot, strip);
    const QImage& im = plot.image();
    ASSERT_EQ(im.size(), QSize(540, 356));

    EXPECT_TRUE(isWhite(im, 0, 0));
    EXPECT_TRUE(isWhite(im, 539, 355));
    EXPECT_TRUE(isWhite(im, 20, 340));
    // Left frame line at logical x 96 (device 53.9), bottom frame at logical y 621 (device 319.9).
    EXPECT_TRUE(isBlack(im, 53, 200) || isBlack(im, 54, 200));
    EXPECT_FALSE(isBlack(im, 50, 200) || isBlack(im, 57, 200));
    EXPECT_TRUE(isBlack(im, 300, 319) || isBlack(im, 300, 320));
    EXPECT_FALSE(isBlack(im, 300, 316) || isBlack(im, 300, 323));
    // The filter at -20 dB: logical row 287, a red line 3 pixels thick around device row 148.
    int redRow = -1;
    for (int y = 144; y <= 152 && redRow < 0; ++y)
        if (im.pixel(300, y) == qRgb(255, 0, 0))
            redRow = y;
    ASSERT_GE(redRow, 0);
    EXPECT_EQ(verticalRun(im, 300, redRow, qRgb(255, 0, 0)), 3);
    // The mic curve is blue and one pixel wide, clipped no further than 4 pixels above the axes.
    EXPECT_TRUE(isWhite(im, 300, 30));
}

TEST(QtCanvas, StripPixels) {
    std::vector<double> impulse(64, 0.0);
    impulse[0] = 1.0;
    TRasterImage image(64, 217);
    drawStrip(image, impulse.data(), 1, 64, 0);
    const QImage& im = image.image();
    EXPECT_TRUE(isBlack(im, 30, 108));
    EXPECT_TRUE(isWhite(im, 30, 50));
    EXPECT_TRUE(isWhite(im, 30, 107));
    // The one-pixel border of the clearing rectangle.
    EXPECT_TRUE(isBlack(im, 30, 0));
    EXPECT_TRUE(isBlack(im, 30, 216));
    EXPECT_TRUE(isBlack(im, 63, 50));
    EXPECT_TRUE(isWhite(im, 62, 50));
    // The spike of the unit impulse runs up column 0 from the zero row.
    EXPECT_EQ(verticalRun(im, 1, 108, qRgb(0, 0, 0)), 1);
}

TEST(QtCanvas, HighDpiImageDrawsAtPhysicalResolution) {
    std::vector<double> zero(64, 0.0);
    TRasterImage image(64, 217, 2.0);
    EXPECT_EQ(image.width(), 64);
    drawStrip(image, zero.data(), 1, 64, 0);
    const QImage& im = image.image();
    ASSERT_EQ(im.size(), QSize(128, 434));
    // Row 108 in logical pixels is two physical rows; a 1-pixel pen stays 1 logical pixel wide.
    int black = 0;
    for (int y = 200; y < 234; ++y)
        black += isBlack(im, 60, y);
    EXPECT_EQ(black, 2);
    EXPECT_TRUE(isBlack(im, 60, 216) || isBlack(im, 60, 217));
}

TEST(QtCanvas, ClipIsInDevicePixelsUnderTheMapping) {
    TRasterImage image(100, 50);
    TCanvas& c = image.canvas();
    c.setMapping(200, 100, 100, 50);
    c.setClipRect({10, 10, 20, 20});
    c.moveTo(0, 30); // device row 15
    c.lineTo(199, 30);
    c.removeClip();
    c.moveTo(0, 80); // device row 40
    c.lineTo(199, 80);
    const QImage& im = image.image();
    EXPECT_TRUE(isBlack(im, 10, 15));
    EXPECT_TRUE(isBlack(im, 19, 15));
    EXPECT_TRUE(isWhite(im, 9, 15));
    EXPECT_TRUE(isWhite(im, 20, 15));
    EXPECT_TRUE(isBlack(im, 5, 40));
    EXPECT_TRUE(isBlack(im, 90, 40));
}

TEST(QtCanvas, TextMetricsAreLogicalUnits) {
    TRasterImage image(540, 356);
    TCanvas& c = image.canvas();
    c.setMapping(961, 691, 540, 356);
    c.setFont({"Arial", 20, 0});
    const TSize extent = c.textExtent("Test of text");
    EXPECT_GE(extent.cy, 27);
    EXPECT_LE(extent.cy, 34);
    EXPECT_GT(extent.cx, 100);
    EXPECT_EQ(c.tabbedTextExtent("a\tb", 30).cx, 30 + c.textExtent("b").cx);

    // Bottom-right aligned text ends left of and above its reference point.
    c.setTextAlign(THAlign::right, TVAlign::bottom);
    c.textOut(480, 300, "-10.00");
    const QImage& im = image.image();
    int minX = 540, maxX = -1, maxY = -1;
    for (int y = 0; y < 356; ++y)
        for (int x = 0; x < 540; ++x)
            if (qGray(im.pixel(x, y)) < 128) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                maxY = std::max(maxY, y);
            }
    EXPECT_LE(maxX, 480 * 540 / 961 + 1);
    EXPECT_LE(maxY, 300 * 356 / 691 + 1);
    EXPECT_GT(maxX - minX, 20); // about 88 logical units wide: some 50 pixels
}

TEST(RasterImage, SavePngReplacesOnlyOnSuccess) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TRasterImage image(40, 30);
    drawStrip(image, nullptr, 1, 0, 0);
    const std::string path = dir.filePath("strip.png").toStdString();
    std::string error;
    ASSERT_TRUE(image.savePng(path, &error)) << error;
    QImage loaded(QString::fromStdString(path));
    EXPECT_EQ(loaded.size(), QSize(40, 30));
    EXPECT_EQ(loaded.pixel(20, 15), qRgb(0, 0, 0));

    const std::string missing = dir.filePath("missing/strip.png").toStdString();
    EXPECT_FALSE(image.savePng(missing, &error));
    EXPECT_EQ(error, "Cannot write \"" + missing + "\": No such file or directory");
}

TEST(ImageWidget, LogicalSizeAndMouseForwarding) {
    TImageWidget widget(540, 356);
    EXPECT_EQ(widget.size(), QSize(540, 356));
    EXPECT_EQ(widget.image().width(), 540);
    EXPECT_EQ(widget.image().height(), 356);

    TMouseButton pressed = TMouseButton::mbMiddle;
    TShiftState pressShift = 0, moveShift = 0;
    int px = -1, py = -1, mx = -1, my = -1;
    widget.onMouseDown = [&](TMouseButton b, TShiftState s, int x, int y) {
        pressed = b;
        pressShift = s;
        px = x;
        py = y;
    };
    widget.onMouseMove = [&](TShiftState s, int x, int y) {
        moveShift = s;
        mx = x;
        my = y;
    };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10.5, 20.25), QPointF(10.5, 20.25), Qt::LeftButton,
                      Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&widget, &press);
    EXPECT_EQ(pressed, TMouseButton::mbLeft);
    EXPECT_EQ(pressShift, ssShift | ssLeft);
    EXPECT_EQ(std::make_pair(px, py), std::make_pair(10, 20));

    QMouseEvent move(QEvent::MouseMove, QPointF(30, 40), QPointF(30, 40), Qt::NoButton, Qt::LeftButton,
                     Qt::ControlModifier);
    QApplication::sendEvent(&widget, &move);
    EXPECT_EQ(moveShift, ssCtrl | ssLeft);
    EXPECT_EQ(std::make_pair(mx, my), std::make_pair(30, 40));
}

namespace {

// The strip as one lineTo per column, the way it was drawn before polylines.
void drawStripByLines(TImage& image, const std::vector<double>& s, int offset) {
    TCanvas& canvas = image.canvas();
    canvas.resetMapping();
    const int W = image.width(), H = image.height(), mid = H / 2;
    canvas.rectangle(0, 0, W, H);
    canvas.moveTo(0, mid);
    for (int x = 0; x < W; ++x) {
        const long long k = static_cast<long long>(offset) + x;
        const double v = (k >= 0 && k < static_cast<long long>(s.size())) ? s[k] : 0.0;
        canvas.lineTo(x, v == v ? truncCoord(mid - H * 0.5 * v) : mid);
    }
}

} // namespace

TEST(QtCanvas, StripPolylinesGiveThePixelsOfOneLinePerColumn) {
    // A decaying noisy response with flat runs, full-scale jumps, values off the strip and a NaN.
    std::vector<double> s(blockLength);
    unsigned seed = 12345;
    for (int n = 0; n < blockLength; ++n) {
        seed = seed * 1103515245u + 12345u;
        const double noise = static_cast<double>(seed >> 8) / (1 << 24) * 2 - 1;
        s[n] = n < 3000 ? noise * std::exp(-n / 900.0) : (n / 200) % 2 == 0 ? 0.0 : noise * 3;
    }
    s[1] = 1.0;
    s[2] = -1.0;
    s[40] = std::nan("");
    for (const double ratio : {1.0, 2.0, 1.5}) {
        for (const int offset : {0, 37, -5}) {
            for (const QSize size : {QSize(8192, 217), QSize(1500, 177), QSize(1025, 1)}) {
                SCOPED_TRACE(::testing::Message() << "ratio " << ratio << " offset " << offset << " size "
                                                  << size.width() << "x" << size.height());
                TRasterImage polylines(size.width(), size.height(), ratio);
                TRasterImage lines(size.width(), size.height(), ratio);
                drawStrip(polylines, s.data(), 1, blockLength, offset);
                drawStripByLines(lines, s, offset);
                const QImage& a = polylines.image();
                const QImage& b = lines.image();
                int differing = 0;
                for (int y = 0; y < a.height(); ++y)
                    for (int x = 0; x < a.width(); ++x)
                        differing += a.pixel(x, y) != b.pixel(x, y);
                ASSERT_EQ(differing, 0);
            }
        }
    }
}

namespace {

struct TDrawingSetup {
    QSize size;
    double ratio;
    bool mapped;   // the plots' 961 x 691 logical window onto the whole image
    QPoint origin; // viewport origin
    QRect clip;    // device pixels; empty: none
};

// The canvas's calls made on a plain QPainter, one drawLine per line: the pixels the canvas must give.
void drawWithPainter(QImage& image, const TDrawingSetup& s, const std::vector<TPoint>& points, TColor colour,
                     int width) {
    QPainter p(&image);
    const int w = s.mapped ? 961 : s.size.width(), h = s.mapped ? 691 : s.size.height();
    p.setWindow(0, 0, w, h);
    p.setViewport(s.origin.x(), s.origin.y(), s.size.width(), s.size.height());
    p.setViewTransformEnabled(false);
    p.fillRect(QRect(s.origin.x(), s.origin.y(), s.size.width(), s.size.height()), Qt::white);
    QPen outline(Qt::black, s.ratio);
    outline.setCosmetic(true);
    p.setPen(outline);
    p.drawRect(QRect(s.origin.x(), s.origin.y(), s.size.width() - 1, s.size.height() - 1));
    if (!s.clip.isEmpty())
        p.setClipRect(s.clip);
    p.setViewTransformEnabled(true);
    QPen pen(QColor(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16), width * s.ratio);
    pen.setCosmetic(true);
    if (width > 1) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    p.setPen(pen);
    for (std::size_t i = 1; i < points.size(); ++i)
        p.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
}

} // namespace

TEST(QtCanvas, LinesAndRectanglesGiveThePaintersPixels) {
    const TDrawingSetup setups[] = {
        {QSize(540, 356), 1.0, true, QPoint(0, 0), QRect()},
        {QSize(540, 356), 1.0, true, QPoint(0, 0), QRect(58, 31, 421, 290)},
        {QSize(700, 300), 1.0, false, QPoint(0, 0), QRect(-5, 20, 600, 900)},
        {QSize(400, 250), 1.0, true, QPoint(13, 7), QRect()},
        {QSize(300, 217), 2.0, false, QPoint(0, 0), QRect()},
    };
    unsigned seed = 99;
    const auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<unsigned>(range));
    };
    for (const TDrawingSetup& s : setups) {
        for (const int width : {1, 3}) {
            SCOPED_TRACE(::testing::Message()
                         << s.size.width() << "x" << s.size.height() << " mapped " << s.mapped << " clip "
                         << !s.clip.isEmpty() << " width " << width);
            // Long and short lines, steep and flat, repeated points, ends off the image.
            std::vector<TPoint> points{{100, 100}};
            for (int i = 0; i < 3000; ++i) {
                const TPoint last = points.back();
                points.push_back(i % 3 == 0   ? TPoint{next(1100) - 70, next(800) - 50}
                                 : i % 3 == 1 ? TPoint{last.x + next(5) - 2, last.y + next(61) - 30}
                                              : TPoint{last.x + 1, next(10) == 0 ? last.y : next(760) - 30});
            }
            const TColor colour = 0x2080C0;
            TRasterImage ours(s.size.width(), s.size.height(), s.ratio);
            TCanvas& c = ours.canvas();
            if (s.mapped)
                c.setMapping(961, 691, s.size.width(), s.size.height());
            c.setViewportOrigin(s.origin.x(), s.origin.y());
            c.rectangle(0, 0, s.mapped ? 961 : s.size.width(), s.mapped ? 691 : s.size.height());
            if (!s.clip.isEmpty())
                c.setClipRect({s.clip.left(), s.clip.top(), s.clip.right() + 1, s.clip.bottom() + 1});
            c.setPen({colour, width, TPenStyle::solid});
            c.moveTo(points[0].x, points[0].y);
            for (std::size_t i = 1; i < 1500; ++i)
                c.lineTo(points[i].x, points[i].y);
            c.polyline(points.data() + 1500, static_cast<int>(points.size()) - 1500);

            QImage reference(ours.image().size(), ours.image().format());
            reference.setDevicePixelRatio(s.ratio);
            reference.fill(Qt::white);
            drawWithPainter(reference, s, points, colour, width);
            int differing = 0;
            for (int y = 0; y < reference.height(); ++y)
                for (int x = 0; x < reference.width(); ++x)
                    differing += ours.image().pixel(x, y) != reference.pixel(x, y);
            EXPECT_EQ(differing, 0);
        }
    }
}

TEST(QtCanvas, StripRedrawnOverItsTraceGivesTheClearedStripsPixels) {
    // Three responses: a decaying one, a loud one far off the strip, a flat one.
    std::vector<std::vector<double>> responses(3, std::vector<double>(blockLength, 0.0));
    unsigned seed = 7;
    for (int n = 0; n < blockLength; ++n) {
        seed = seed * 1103515245u + 12345u;
        const double noise = static_cast<double>(seed >> 8) / (1 << 24) * 2 - 1;
        responses[0][n] = noise * std::exp(-n / 700.0);
        responses[1][n] = noise * 4;
    }
    const auto fresh = [&](const std::vector<double>& s, int offset, double ratio) {
        TRasterImage image(1500, 177, ratio);
        drawStrip(image, s.data(), 1, blockLength, offset);
        return image.image().copy();
    };
    for (const double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(::testing::Message() << "ratio " << ratio);
        TRasterImage image(1500, 177, ratio);
        TStripTrace trace;
        drawStrip(image, responses[0].data(), 1, blockLength, 0, &trace);
        drawStrip(image, responses[1].data(), 1, blockLength, 20, &trace);
        EXPECT_EQ(image.image(), fresh(responses[1], 20, ratio));
        drawStrip(image, responses[2].data(), 1, blockLength, 0, &trace);
        EXPECT_EQ(image.image(), fresh(responses[2], 0, ratio));
        // Moved in a few places only: at the first and last columns, one sample, a loud stretch.
        std::vector<double> edited = responses[0];
        drawStrip(image, edited.data(), 1, blockLength, 0, &trace);
        edited[0] = -0.9;
        edited[1499] = 0.7;
        edited[700] = 0.5;
        for (int n = 900; n < 960; ++n)
            edited[n] = n % 2 == 0 ? 3.0 : -0.2;
        drawStrip(image, edited.data(), 1, blockLength, 0, &trace);
        EXPECT_EQ(image.image(), fresh(edited, 0, ratio));
        drawStrip(image, edited.data(), 1, blockLength, 0, &trace);
        EXPECT_EQ(image.image(), fresh(edited, 0, ratio));
        // Something else drawn on the image in between: the next strip clears it all.
        image.canvas().moveTo(0, 0);
        image.canvas().lineTo(1400, 170);
        drawStrip(image, responses[0].data(), 1, blockLength, 5, &trace);
        EXPECT_EQ(image.image(), fresh(responses[0], 5, ratio));
        // A new pen: the old line cannot be taken away with the old width.
        image.canvas().setPen({0x000000, 2, TPenStyle::solid});
        drawStrip(image, responses[1].data(), 1, blockLength, 0, &trace);
        image.canvas().setPen({});
        drawStrip(image, responses[2].data(), 1, blockLength, 0, &trace);
        EXPECT_EQ(image.image(), fresh(responses[2], 0, ratio));
    }
}
