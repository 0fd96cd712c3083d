// Where a legend box hides the least of the curves: the corner of the axis frame whose box covers
// the fewest curve pixels. Qt-free; the curves are mapped to logical units as TCurve::draw does.
#pragma once

#include "plot/Curves.h"
#include "plot/Plot1.h"

// The ink of the visible curves of `list` inside `box` (logical units): the length of each curve's
// polyline within the box times its pen's width. origin and size are the axis rectangle, xNorm
// the points' x fractions, as for TCurves::draw. Points that are not numbers break the line.
double curveInkInside(const TCurves& list, TPointD origin, TPointD size, const double* xNorm,
                      const TRectD& box);

// The corner (0 top left, 1 top right, 2 bottom left, 3 bottom right) of the frame at which a box
// of boxSize covers the least ink; `current` is kept unless another corner covers strictly less.
// frame and boxSize in logical units; legendCorner gives the box's top-left corner at a corner.
int leastCoveredCorner(const TCurves& list, TPointD origin, TPointD size, const double* xNorm,
                       const TRectD& frame, TPointD boxSize, int current);
TPointD legendCorner(const TRectD& frame, TPointD boxSize, int corner);
