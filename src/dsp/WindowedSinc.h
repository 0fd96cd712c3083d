// The Kaiser-windowed sinc low-pass kernel both band-limited resamplers are built from (an
// impulse response to another rate, a recorder's track to another clock).
#pragma once

// The zeroth-order modified Bessel function of the first kind, by its power series to double
// precision.
double besselI0(double x);

// The kernel's value at distance x (in input samples) from its centre: 2 cutoff sinc(2 cutoff x)
// under a Kaiser window of shape `beta` that reaches zero at |x| = halfWidth (zero beyond).
// cutoff: cycles per input sample, 0 < cutoff <= 0.5; i0Beta: besselI0(beta), given by the caller
// that fills a table so that it is computed once.
double kaiserSinc(double x, double cutoff, double halfWidth, double beta, double i0Beta);
