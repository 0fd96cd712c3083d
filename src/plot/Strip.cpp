#include "plot/Strip.h"

#include <algorithm>

namespace {

// The columns go to the canvas as polylines of a bounded number of points.
constexpr int chunk = 1024;

void drawPolyline(TCanvas& canvas, const TPoint* points, int count) {
    for (int first = 0; first < count; first += chunk)
        canvas.polyline(points + first, std::min(chunk, count - first));
}

bool traceHolds(const TStripTrace& trace, const TImage& image, std::uint64_t changes, const TCanvas& canvas) {
    return trace.image == &image && changes != 0 && changes == trace.imageChanges &&
           trace.width == image.width() && trace.height == image.height() && trace.pen == canvas.pen() &&
           trace.brush == canvas.brush() && canvas.brush().style == TBrushStyle::solid;
}

// Segment k of a line runs from point k - 1 (point -1 is the start at the zero row) to point k,
// over columns k - 1 and k. Draws segments first..last of the line.
void drawSegments(TCanvas& canvas, const TPoint* points, int count, int mid, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    if (first > last)
        return;
    const TPoint start = first == 0 ? TPoint{0, mid} : points[first - 1];
    canvas.moveTo(start.x, start.y);
    drawPolyline(canvas, points + first, last - first + 1);
}

// Calls run(first, last) for every run of points that differ between the two lines.
template <class Run> void forMovedRuns(const TPoint* was, const TPoint* now, int count, Run&& run) {
    for (int i = 0; i < count; ++i) {
        if (was[i] == now[i])
            continue;
        const int first = i;
        while (i + 1 < count && was[i + 1] != now[i + 1])
            ++i;
        run(first, i);
    }
}

// Brings a strip drawn as the trace says to the new line: the segments at moved points are drawn
// in the brush's colour, the outline again, then every segment of the new line over the columns
// that were touched. The other columns already hold what a full drawing would give.
void redrawMoved(TCanvas& canvas, const TStripTrace& trace, const TPoint* now, int count, int mid) {
    const TPoint* was = trace.points.data();
    const TPen pen = canvas.pen();
    const TBrush brush = canvas.brush();
    TPen background = pen;
    background.color = brush.color;
    bool erased = false;
    canvas.setPen(background);
    forMovedRuns(was, now, count, [&](int first, int last) {
        drawSegments(canvas, was, count, mid, first, last + 1); // columns first - 1 .. last + 1
        erased = true;
    });
    canvas.setPen(pen);
    if (!erased)
        return;
    canvas.setBrush({brush.color, TBrushStyle::clear});
    canvas.rectangle(0, 0, trace.width, trace.height);
    canvas.setBrush(brush);
    forMovedRuns(was, now, count,
                 [&](int first, int last) { drawSegments(canvas, now, count, mid, first - 1, last + 2); });
}

} // namespace

void drawStrip(TImage& image, const double* samples, int stride, int count, int offset, TStripTrace* trace) {
    const std::uint64_t changes = image.changeCount(); // before canvas(), which counts as one
    TCanvas& canvas = image.canvas();
    const bool traced = trace != nullptr && traceHolds(*trace, image, changes, canvas);
    canvas.resetMapping();
    const int W = image.width();
    const int H = image.height();
    const double half = H * 0.5;
    const int mid = H / 2;
    const auto point = [&](int x) {
        const long long k = static_cast<long long>(offset) + x;
        const double s = (k >= 0 && k < count) ? samples[k * stride] : 0.0;
        return TPoint{x, s == s ? truncCoord(mid - half * s) : mid};
    };

    if (trace == nullptr) {
        canvas.rectangle(0, 0, W, H);
        canvas.moveTo(0, mid);
        TPoint points[chunk];
        for (int first = 0; first < W; first += chunk) {
            const int n = std::min(chunk, W - first);
            for (int i = 0; i < n; ++i)
                points[i] = point(first + i);
            canvas.polyline(points, n);
        }
        return;
    }

    std::vector<TPoint>& now = trace->nextPoints;
    now.resize(static_cast<std::size_t>(std::max(W, 0)));
    for (int x = 0; x < W; ++x)
        now[x] = point(x);
    if (traced) {
        redrawMoved(canvas, *trace, now.data(), W, mid);
        canvas.moveTo(W > 0 ? now[W - 1].x : 0, W > 0 ? now[W - 1].y : mid);
    } else {
        canvas.rectangle(0, 0, W, H);
        canvas.moveTo(0, mid);
        drawPolyline(canvas, now.data(), W);
    }
    trace->points.swap(now);
    trace->image = &image;
    trace->imageChanges = image.changeCount();
    trace->width = W;
    trace->height = H;
    trace->pen = canvas.pen();
    trace->brush = canvas.brush();
}
