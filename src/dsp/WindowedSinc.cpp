#include "dsp/WindowedSinc.h"

#include <cmath>

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 60 && term > 1e-17 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

double kaiserSinc(double x, double cutoff, double halfWidth, double beta, double i0Beta) {
    const double r = std::fabs(x) / halfWidth;
    if (r >= 1)
        return 0.0;
    const double window = besselI0(beta * std::sqrt(1 - r * r)) / i0Beta;
    const double sinc = x == 0 ? 1.0 : std::sin(2 * M_PI * cutoff * x) / (2 * M_PI * cutoff * x);
    return 2 * cutoff * sinc * window;
}
