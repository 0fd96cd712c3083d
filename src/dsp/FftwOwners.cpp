#include "dsp/FftwOwners.h"

#include "dsp/RealFFT.h"

#include <fftw3.h>
#include <mutex>
#include <new>

void TFftwFree::operator()(void* memory) const {
    fftw_free(memory);
}

void TFftwPlanDestroy::operator()(void* plan) const {
    const std::lock_guard<std::mutex> planning(fftwPlannerLock());
    fftw_destroy_plan(static_cast<fftw_plan>(plan));
}

TFftwArray<Complex> allocateComplex(std::size_t n) {
    TFftwArray<Complex> p(reinterpret_cast<Complex*>(fftw_alloc_complex(n)));
    if (!p)
        throw std::bad_alloc();
    return p;
}

TFftwArray<double> allocateReal(std::size_t n) {
    TFftwArray<double> p(fftw_alloc_real(n));
    if (!p)
        throw std::bad_alloc();
    return p;
}
