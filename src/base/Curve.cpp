#include "base/Curve.h"

void TCurve::getRange(double& min, double& max, int first, int last) const {
    for (int i = 0; i < count; ++i) {
        if (i < first || i > last)
            continue;
        if (data[i] > max)
            max = data[i];
        if (data[i] < min)
            min = data[i];
    }
}
