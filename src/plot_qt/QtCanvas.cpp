#include "plot_qt/QtCanvas.h"

#include "plot_qt/CosmeticLine.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QColor toQColor(TColor c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

} // namespace

TQtCanvas::TQtCanvas(QImage* image) : image_(image) {}

TQtCanvas::~TQtCanvas() {
    end();
}

void TQtCanvas::setTarget(QImage* image) {
    end(); // draws the waiting lines first
    image_ = image;
}

void TQtCanvas::end() {
    flushLines();
    if (painter_.isActive())
        painter_.end();
}

QPainter& TQtCanvas::painter() {
    if (!painter_.isActive() && image_ != nullptr && !image_->isNull()) {
        painter_.begin(image_);
        painter_.setRenderHint(QPainter::Antialiasing, false);
        penApplied_ = false;
        textPenApplied_ = false;
        mappingApplied_ = false;
        clipApplied_ = false;
        if (onBeginPaint)
            onBeginPaint();
    }
    if (painter_.isActive()) {
        if (!mappingApplied_)
            applyMapping();
        if (!clipApplied_)
            applyClip();
    }
    return painter_;
}

void TQtCanvas::applyPen() {
    // Cosmetic pens keep their width in physical pixels; scale them so a width is device pixels.
    const qreal dpr = image_->devicePixelRatio();
    QPen pen(toQColor(pen_.color), std::max(1, pen_.width) * dpr);
    pen.setCosmetic(true);
    pen.setStyle(pen_.style == TPenStyle::dot ? Qt::DotLine : Qt::SolidLine);
    if (pen_.width > 1) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    painter_.setPen(pen);
    penApplied_ = true;
    textPenApplied_ = false;
}

void TQtCanvas::applyMapping() {
    const int w =
        mapping_.anisotropic ? mapping_.windowWidth : qRound(image_->deviceIndependentSize().width());
    const int h =
        mapping_.anisotropic ? mapping_.windowHeight : qRound(image_->deviceIndependentSize().height());
    const int vw = mapping_.anisotropic ? mapping_.viewportWidth : w;
    const int vh = mapping_.anisotropic ? mapping_.viewportHeight : h;
    painter_.setWindow(0, 0, w, h);
    painter_.setViewport(viewportOrigin_.x, viewportOrigin_.y, vw, vh);
    painter_.setViewTransformEnabled(true);
    mappingApplied_ = true;
}

void TQtCanvas::applyClip() {
    if (clipped_) {
        // The clip is in device pixels: set it with the mapping switched off.
        painter_.setViewTransformEnabled(false);
        painter_.setClipRect(
            QRect(clip_.left, clip_.top, clip_.right - clip_.left, clip_.bottom - clip_.top));
        painter_.setViewTransformEnabled(true);
    } else {
        painter_.setClipping(false);
    }
    clipApplied_ = true;
}

int TQtCanvas::deviceX(int x) const {
    if (!mapping_.anisotropic)
        return x + viewportOrigin_.x;
    return viewportOrigin_.x + static_cast<int>(std::lround(static_cast<double>(x) * mapping_.viewportWidth /
                                                            mapping_.windowWidth));
}

int TQtCanvas::deviceY(int y) const {
    if (!mapping_.anisotropic)
        return y + viewportOrigin_.y;
    return viewportOrigin_.y + static_cast<int>(std::lround(static_cast<double>(y) * mapping_.viewportHeight /
                                                            mapping_.windowHeight));
}

const QFont& TQtCanvas::qfont() const {
    if (!qfontValid_) {
        qfont_ = QFont(QString::fromStdString(font_.name));
        qfont_.setPixelSize(std::max(1, font_.pixelHeight()));
        // Unhinted outlines keep the metrics proportional when the mapping scales the text.
        qfont_.setHintingPreference(QFont::PreferNoHinting);
        qfontValid_ = true;
    }
    return qfont_;
}

void TQtCanvas::setPen(const TPen& pen) {
    if (pen == pen_)
        return;
    flushLines();
    TCanvas::setPen(pen);
    penApplied_ = false;
}

void TQtCanvas::setBrush(const TBrush& brush) {
    TCanvas::setBrush(brush);
}

void TQtCanvas::setFont(const TFont& font) {
    if (font == font_)
        return;
    flushLines();
    TCanvas::setFont(font);
    qfontValid_ = false;
    textPenApplied_ = false;
}

void TQtCanvas::setMapping(int windowWidth, int windowHeight, int viewportWidth, int viewportHeight) {
    flushLines();
    TCanvas::setMapping(std::max(1, windowWidth), std::max(1, windowHeight), std::max(1, viewportWidth),
                        std::max(1, viewportHeight));
    mappingApplied_ = false;
}

void TQtCanvas::resetMapping() {
    flushLines();
    TCanvas::resetMapping();
    mappingApplied_ = false;
}

void TQtCanvas::setViewportOrigin(int x, int y) {
    flushLines();
    TCanvas::setViewportOrigin(x, y);
    mappingApplied_ = false;
}

void TQtCanvas::setClipRect(const TRect& device) {
    flushLines();
    TCanvas::setClipRect(device);
    clipApplied_ = false;
}

void TQtCanvas::removeClip() {
    flushLines();
    TCanvas::removeClip();
    clipApplied_ = false;
}

void TQtCanvas::lineTo(int x, int y) {
    QPainter& p = painter();
    if (p.isActive()) {
        if (!penApplied_)
            applyPen();
        queueLine(position_, {x, y});
    }
    position_ = {x, y};
}

void TQtCanvas::polyline(const TPoint* points, int count) {
    if (count <= 0)
        return;
    QPainter& p = painter();
    if (p.isActive()) {
        if (!penApplied_)
            applyPen();
        TPoint from = position_;
        for (int i = 0; i < count; ++i) {
            queueLine(from, points[i]);
            from = points[i];
        }
    }
    position_ = points[count - 1];
}

void TQtCanvas::queueLine(TPoint from, TPoint to) {
    if (pendingCount_ == lineBatch)
        flushLines();
    pendingLines_[pendingCount_++] = QLine(from.x, from.y, to.x, to.y);
}

bool TQtCanvas::drawsStraightIntoImage() const {
    const QImage::Format format = image_->format();
    return painter_.isActive() && pen_.width <= 1 && pen_.style == TPenStyle::solid &&
           image_->devicePixelRatio() == 1.0 && image_->width() <= maxDirectSize &&
           image_->height() <= maxDirectSize && image_->isDetached() &&
           (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
            format == QImage::Format_ARGB32_Premultiplied);
}

TRect TQtCanvas::drawableBox() const {
    TRect box{0, 0, image_->width() - 1, image_->height() - 1};
    if (clipped_)
        box = {std::max(box.left, clip_.left), std::max(box.top, clip_.top),
               std::min(box.right, clip_.right - 1), std::min(box.bottom, clip_.bottom - 1)};
    return box;
}

void TQtCanvas::flushLines() {
    if (pendingCount_ == 0)
        return;
    const int count = pendingCount_;
    pendingCount_ = 0;
    if (!painter_.isActive())
        return;
    if (!drawsStraightIntoImage()) {
        painter_.drawLines(pendingLines_.data(), count);
        return;
    }
    // Lines with both ends inside the image and its clip are set pixel by pixel, mapped as the
    // painter maps them; the others need its clipping and go to the painter.
    const TRect box = drawableBox();
    const double sx =
        mapping_.anisotropic ? double(mapping_.viewportWidth) / double(mapping_.windowWidth) : 1.0;
    const double sy =
        mapping_.anisotropic ? double(mapping_.viewportHeight) / double(mapping_.windowHeight) : 1.0;
    const double ox = viewportOrigin_.x;
    const double oy = viewportOrigin_.y;
    const qsizetype stride = image_->bytesPerLine();
    uchar* const bits = image_->bits();
    const QRgb colour = toQColor(pen_.color).rgba();
    const auto plot = [bits, stride, colour, box](int x, int y) {
        if (box.left <= x && x <= box.right && box.top <= y && y <= box.bottom)
            reinterpret_cast<QRgb*>(bits + y * stride)[x] = colour;
    };
    const auto inside = [box](double x, double y) {
        return box.left <= x && x <= box.right && box.top <= y && y <= box.bottom;
    };
    int leftToPainter = 0;
    for (int i = 0; i < count; ++i) {
        const QLine& line = pendingLines_[i];
        const double x1 = sx * line.x1() + ox, y1 = sy * line.y1() + oy;
        const double x2 = sx * line.x2() + ox, y2 = sy * line.y2() + oy;
        if (line.p1() != line.p2() && inside(x1, y1) && inside(x2, y2))
            cosmeticLinePixels(toFixed26(x1), toFixed26(y1), toFixed26(x2), toFixed26(y2), plot);
        else
            pendingLines_[leftToPainter++] = line;
    }
    if (leftToPainter > 0)
        painter_.drawLines(pendingLines_.data(), leftToPainter);
}

bool TQtCanvas::rectangleStraight(int l, int t, int r, int b) {
    const TRect box = drawableBox();
    if (!drawsStraightIntoImage() || r - l < 2 || b - t < 2 || l < box.left || t < box.top ||
        r - 1 > box.right || b - 1 > box.bottom)
        return false;
    const QRgb pen = toQColor(pen_.color).rgba();
    const QRgb inside = toQColor(brush_.color).rgba();
    const bool filled = brush_.style == TBrushStyle::solid;
    for (int y = t; y < b; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        if (y == t || y == b - 1) {
            std::fill(row + l, row + r, pen);
        } else {
            row[l] = pen;
            if (filled)
                std::fill(row + l + 1, row + r - 1, inside);
            row[r - 1] = pen;
        }
    }
    return true;
}

void TQtCanvas::rectangle(int left, int top, int right, int bottom) {
    flushLines();
    QPainter& p = painter();
    if (!p.isActive())
        return;
    const int l = deviceX(left), t = deviceY(top), r = deviceX(right), b = deviceY(bottom);
    if (rectangleStraight(l, t, r, b))
        return;
    p.setViewTransformEnabled(false);
    if (brush_.style == TBrushStyle::solid)
        p.fillRect(QRect(l, t, r - l, b - t), toQColor(brush_.color));
    if (r - l > 0 && b - t > 0) {
        if (!penApplied_)
            applyPen();
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(l, t, r - l - 1, b - t - 1));
    }
    p.setViewTransformEnabled(true);
}

void TQtCanvas::roundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
    flushLines();
    QPainter& p = painter();
    if (!p.isActive())
        return;
    const int l = deviceX(left), t = deviceY(top), r = deviceX(right), b = deviceY(bottom);
    const double rx = 0.5 * (deviceX(left + ellipseWidth) - l);
    const double ry = 0.5 * (deviceY(top + ellipseHeight) - t);
    p.setViewTransformEnabled(false);
    if (!penApplied_)
        applyPen();
    if (brush_.style == TBrushStyle::solid)
        p.setBrush(toQColor(brush_.color));
    else
        p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(l, t, r - l - 1, b - t - 1), rx, ry);
    p.setBrush(Qt::NoBrush);
    p.setViewTransformEnabled(true);
}

void TQtCanvas::focusRect(const TRect& rect) {
    flushLines();
    QPainter& p = painter();
    if (!p.isActive())
        return;
    const int l = deviceX(rect.left), t = deviceY(rect.top), r = deviceX(rect.right),
              b = deviceY(rect.bottom);
    const qreal dpr = image_->devicePixelRatio();
    QPen dotted(Qt::black, dpr);
    dotted.setCosmetic(true);
    dotted.setDashPattern({1, 1});
    p.setViewTransformEnabled(false);
    p.setPen(dotted);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(l, t, r - l - 1, b - t - 1));
    p.setViewTransformEnabled(true);
    penApplied_ = false;
    textPenApplied_ = false;
}

void TQtCanvas::drawTextAt(double x, int y, const QString& text) {
    flushLines();
    QPainter& p = painter();
    if (!p.isActive())
        return;
    if (!textPenApplied_) {
        p.setFont(qfont());
        p.setPen(toQColor(font_.color));
        textPenApplied_ = true;
        penApplied_ = false;
    }
    const QFontMetricsF metrics(qfont());
    const double baseline = vAlign_ == TVAlign::top ? y + metrics.ascent() : y - metrics.descent();
    p.drawText(QPointF(x, baseline), text);
}

void TQtCanvas::textOut(int x, int y, const char* text) {
    const QString s = QString::fromLatin1(text);
    double left = x;
    if (hAlign_ != THAlign::left) {
        const double width = QFontMetricsF(qfont()).horizontalAdvance(s);
        left = hAlign_ == THAlign::right ? x - width : x - 0.5 * width;
    }
    drawTextAt(left, y, s);
}

TSize TQtCanvas::textExtent(const char* text) const {
    const QFontMetrics metrics(qfont());
    return {metrics.horizontalAdvance(QString::fromLatin1(text)), metrics.height()};
}

void TQtCanvas::tabbedTextOut(int x, int y, const char* text, int tabWidth) {
    double left = x;
    if (hAlign_ != THAlign::left) {
        const int width = tabbedTextExtent(text, tabWidth).cx;
        left = hAlign_ == THAlign::right ? x - width : x - 0.5 * width;
    }
    const QFontMetrics metrics(qfont());
    int advance = 0;
    const char* segment = text;
    for (const char* p = text;; ++p) {
        if (*p == '\t' || *p == '\0') {
            const QString s = QString::fromLatin1(segment, static_cast<int>(p - segment));
            if (!s.isEmpty())
                drawTextAt(left + advance, y, s);
            advance += metrics.horizontalAdvance(s);
            if (*p == '\0')
                break;
            if (tabWidth > 0)
                advance = (advance / tabWidth + 1) * tabWidth;
            segment = p + 1;
        }
    }
}

TSize TQtCanvas::tabbedTextExtent(const char* text, int tabWidth) const {
    const QFontMetrics metrics(qfont());
    int advance = 0;
    const char* segment = text;
    for (const char* p = text;; ++p) {
        if (*p == '\t' || *p == '\0') {
            advance += metrics.horizontalAdvance(QString::fromLatin1(segment, static_cast<int>(p - segment)));
            if (*p == '\0')
                break;
            if (tabWidth > 0)
                advance = (advance / tabWidth + 1) * tabWidth;
            segment = p + 1;
        }
    }
    return {advance, metrics.height()};
}
