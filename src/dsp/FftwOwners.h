// Owners of FFTW's resources for the engines that keep FFTW out of their headers: aligned memory
// (freed with fftw_free) and plans (destroyed under fftwPlannerLock(), which the owner takes).
#pragma once

#include "dsp/AnalyzerTypes.h"

#include <cstddef>
#include <memory>

struct TFftwFree {
    void operator()(void* memory) const;
};
struct TFftwPlanDestroy {
    void operator()(void* plan) const;
};

template <class T> using TFftwArray = std::unique_ptr<T[], TFftwFree>;
using TFftwPlan = std::unique_ptr<void, TFftwPlanDestroy>; // holds an fftw_plan

// n values of FFTW-aligned memory, uncleared; std::bad_alloc when there is none.
TFftwArray<Complex> allocateComplex(std::size_t n);
TFftwArray<double> allocateReal(std::size_t n);
