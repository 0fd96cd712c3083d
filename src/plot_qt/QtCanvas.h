// The canvas on a QPainter over a QImage.
#pragma once

#include "plot/Canvas.h"

#include <QFont>
#include <QImage>
#include <QLine>
#include <QPainter>

#include <array>
#include <functional>

// Draws on a QImage, which may carry a device pixel ratio: device pixels are then the image's
// logical pixels, and everything (text, lines, fills) is rendered at the full physical resolution.
// The mapping is QPainter's window and viewport, so text in the plot's logical units scales with
// the image. Pen widths are device pixels (cosmetic pens). Lines and text are aliased; texts draw
// with a transparent background. Rectangles are placed on device pixels as the mapping rounds
// their corners: the outline covers left .. right - 1 and top .. bottom - 1.
//
// A QPainter is opened on the image by the first drawing call and stays open until end(); read
// the image only after end(). The canvas state survives end(). Lines wait in a batch until the
// next call that is not a line (or end()). One-pixel solid lines and rectangles on a 32-bit image
// of device pixel ratio 1 are set straight into its pixels, exactly those QPainter would set;
// what needs clipping still goes to the painter.
class TQtCanvas : public TCanvas {
public:
    explicit TQtCanvas(QImage* image = nullptr);
    ~TQtCanvas() override;
    TQtCanvas(const TQtCanvas&) = delete;
    TQtCanvas& operator=(const TQtCanvas&) = delete;

    // Ends painting on the current image and draws on another one from now on.
    void setTarget(QImage* image);
    // Ends painting so that the image can be read or shown.
    void end();
    // Called when a drawing call opens the painter (for example to schedule a repaint).
    std::function<void()> onBeginPaint;

    void setPen(const TPen& pen) override;
    void setBrush(const TBrush& brush) override;
    void setFont(const TFont& font) override;
    void setMapping(int windowWidth, int windowHeight, int viewportWidth, int viewportHeight) override;
    void resetMapping() override;
    void setViewportOrigin(int x, int y) override;
    void setClipRect(const TRect& device) override;
    void removeClip() override;
    void lineTo(int x, int y) override;
    // The pixels of the lineTo calls, drawn as one batch.
    void polyline(const TPoint* points, int count) override;
    void rectangle(int left, int top, int right, int bottom) override;
    void roundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) override;
    void focusRect(const TRect& rect) override;
    void textOut(int x, int y, const char* text) override;
    TSize textExtent(const char* text) const override;
    void tabbedTextOut(int x, int y, const char* text, int tabWidth) override;
    TSize tabbedTextExtent(const char* text, int tabWidth) const override;

private:
    QPainter& painter();
    void applyPen();
    void queueLine(TPoint from, TPoint to);
    // Draws the waiting lines with the current pen.
    void flushLines();
    // Whether the pen draws by setting pixels itself: one pixel wide, solid, on a 32-bit image
    // of device pixel ratio 1 that no other QImage shares.
    bool drawsStraightIntoImage() const;
    // The device pixels a drawing call may touch: the image within the clip (right/bottom included).
    TRect drawableBox() const;
    // The rectangle's outline and inside set straight into the image, when it lies inside the
    // drawable box; false leaves it to the painter.
    bool rectangleStraight(int l, int t, int r, int b);
    void applyMapping();
    void applyClip();
    // Device pixel of a logical coordinate, rounded.
    int deviceX(int x) const;
    int deviceY(int y) const;
    const QFont& qfont() const;
    // Draws text left-aligned with its cell's top or bottom at y, honouring the vertical alignment.
    void drawTextAt(double x, int y, const QString& text);

    static constexpr int lineBatch = 1024;
    static constexpr int maxDirectSize = 16384; // keeps the fixed-point walk inside int

    QImage* image_;
    QPainter painter_;
    std::array<QLine, lineBatch> pendingLines_; // logical coordinates
    int pendingCount_ = 0;
    bool penApplied_ = false;
    bool textPenApplied_ = false;
    bool mappingApplied_ = false;
    bool clipApplied_ = false;
    mutable QFont qfont_;
    mutable bool qfontValid_ = false;
};
