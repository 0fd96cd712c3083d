#include "plot/Curves.h"

#include "base/CFormat.h"

#include <cmath>

void TCurves::autoRange(int first, int last) {
    min = 1e32;
    max = -1e32;
    for (const TCurve* c : curves)
        if (c != nullptr && c->visible)
            c->getRange(min, max, first, last);
    if (min > max) {
        min = 0;
        max = 1;
    }
}

bool TCurves::hasVisible() const {
    for (const TCurve* c : curves)
        if (c != nullptr && c->visible)
            return true;
    return false;
}

void TCurves::draw(TCanvas& canvas, TPointD origin, TPointD size, const double* xNorm) const {
    for (int layerNo = 0; layerNo <= 10; ++layerNo)
        for (const TCurve* c : curves)
            if (c != nullptr && c->layer == layerNo && c->visible)
                c->draw(canvas, origin, size, xNorm, min, max);
}

void TCurves::formatValue(double v, std::string& text) const {
    const double value = max - (max - min) * v;
    const double step = (max - (v - 0.01) * (max - min)) - value;
    // Compared as a real number: a zero step gives -inf, which takes the exponent format.
    const double b = std::floor(std::log10(step));
    const char* format = " %3.2E%s";
    if (b == -4)
        format = " %4.4f%s";
    else if (b == -3)
        format = " %3.3f%s";
    else if (b == -2)
        format = " %3.2f%s";
    else if (b == -1)
        format = " %3.1f%s";
    else if (b >= 0 && b <= 3)
        format = " %3.0f%s";
    char buffer[96];
    formatC(buffer, sizeof buffer, format, value, unit);
    text += buffer;
}
