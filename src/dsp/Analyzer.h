// The analyzer state: both impulse responses, the parameters the window's controls edit, every
// array the analysis derives from them, and the two stored output channels. Qt-free; the window
// and the batch tool each own one. All arrays have fixed sizes and are allocated once with the
// object (about 1.5 MB, so create it on the heap).
#pragma once

#include "base/Curve.h"
#include "dsp/AnalyzerTypes.h"
#include "dsp/FFT.h"
#include "dsp/LinearPrediction.h"
#include "dsp/Parameters.h"
#include "dsp/PlotResampling.h"

#include <array>
#include <cstdint>
#include <memory>

// One output channel as "Left"/"Right" stores it and the export writes it.
struct ChannelResult {
    std::array<Complex, binCount> filterSpectrum{};
    std::array<double, plotPoints> filterDb{};
    std::array<double, blockLength> filterIr{};
    TCurve curve; // shows filterDb on the summary plot; never written by setChannel
};

class TAnalyzer {
public:
    TAnalyzer();

    // Inputs.
    std::array<IrPair, blockLength> irData{}; // normalised to a peak of 1.0; start: two unit impulses
    std::int32_t fs = 44100;                  // sample rate, Hz

    // Parameters bound to the window's controls; start values and limits: parameterTable.
    double delayMic = startValue(EParameter::delayMic);       // samples, truncated toward zero where used
    double delayPickup = startValue(EParameter::delayPickup); // samples
    double gainDb = startValue(EParameter::gain);             // dB
    double blend = startValue(EParameter::blend);             // % corrected, 0..100 (blendPickup)
    double fMin = startValue(EParameter::fMin);               // Hz, lower display frequency
    double fMax = startValue(EParameter::fMax); // Hz, upper display frequency; fMin <= fMax - minDisplayWidth
    double dbRange = startValue(EParameter::dbRange);      // dB, value range of the plots
    double fHelm = startValue(EParameter::helmholtz);      // Hz, only travels to the exported file
    double fFirstBody = startValue(EParameter::firstBody); // Hz, only travels to the exported file
    bool enablePickup = true; // false: the pickup channel is a unit impulse and no division happens
    bool useMinPhase = false; // "Clean": replace the pickup spectrum by its smooth model

    // Pickup-model track bar positions, whole numbers, given by whoever holds the track bars.
    int alpha = static_cast<int>(startValue(EParameter::alpha)); // straightening: s = 1 - 0.02 alpha
    int beta = static_cast<int>(startValue(EParameter::beta));   // peak compression: p = 1 - 0.02 beta

    // Derived data, written by the analysis.
    std::unique_ptr<TFFT> fft;
    alignas(TFFT::alignment) std::array<Complex, blockLength> fftIn{};  // scratch
    alignas(TFFT::alignment) std::array<Complex, blockLength> fftOut{}; // scratch
    std::array<Complex, binCount> micSpectrum{};    // twice the DFT of the delayed mic response; bin 0 = 0
    std::array<Complex, binCount> pickupSpectrum{}; // twice the DFT of the pickup response, or its model
    std::array<Complex, binCount> filterSpectrum{}; // after a run: spectrum of filterIr, bin 0 = 0
    alignas(
        TFFT::alignment) std::array<double, blockLength> filterIr{}; // final correction filter, true scale
    std::array<double, plotPoints> micDb{};                          // dB on the plot grid
    std::array<double, plotPoints> pickupDb{};
    std::array<double, plotPoints> filterDb{};
    std::array<double, plotPoints> plotFreq{}; // Hz, 20 .. 20000 evenly in log-frequency; never changes
    std::array<double, binCount> binFreq{};    // Hz, k * fs / 8192 with bin 0 = 0.1; follows fs

    // Output channels: 0 = "Left", 1 = "Right".
    std::array<ChannelResult, channelCount> channels{};
    // The rate each channel's filter was made at, Hz; 0 while it was never stored (the start-up
    // stores made before the analysis is ready hold no filter and leave it 0).
    std::array<std::int32_t, channelCount> channelFs{};

    // Bookkeeping.
    std::array<std::int32_t, 4> release{0, 0, 1, 20040318}; // written into both file formats
    bool analysisReady = false;                             // the analysis does nothing while false
    // Set by each run: the mic or pickup response, from its compensated onset on, is all zero.
    // Its spectrum is then exactly zero, so a silent pickup divides nothing (the filter is the
    // compressed mic response) and a silent mic gives an all-zero filter.
    bool micSilent = false;
    bool pickupSilent = false;

    // Sets fs and recomputes binFreq from it (k * fs / 8192, then bin 0 := 0.1).
    void setFs(std::int32_t rate);
    // Sets one response to a unit impulse (all 0.0, sample 0 = 1.0): channel 0 = mic, 1 = pickup.
    void setUnitImpulse(int channel);

    // The analysis: spectra, filter, its impulse response and the three dB curves (no drawing).
    // Returns at once while analysisReady is false. Allocates nothing.
    void computeResponses();
    // Copies filterIr, filterSpectrum and filterDb into channels[channel], leaving its curve alone,
    // and records fs in channelFs[channel] once the analysis is ready.
    void setChannel(int channel);

    // Shaping stages of the analysis (called by computeResponses at fixed points).
    void compressPeaks();
    void cleanPickupModel();
    void straightenAndGain();
    // The last stage: while blend < 100, filterIr := b * filterIr + (1 - b) * g * s * impulse at the
    // main arrival (the sample of largest magnitude, s its sign, so the two add in phase), with
    // b = blend / 100 (0 below 0) and g = pinkLevelGain(); filterSpectrum follows. At 100 (or NaN)
    // it changes nothing, not a bit. Allocates nothing.
    void blendPickup();
    // The gain that makes the bare pickup as loud as the filtered one on pink noise: levelMatchGain
    // of the RMS of pink noise (power 1/f in each bin from 20 Hz to 20 kHz) through filterSpectrum
    // and without it; 1 when the filter is silent there or not a number.
    double pinkLevelGain() const;
    // Piecewise-linear interpolation in log-frequency of 4096 bin values onto the 500 plot points.
    void resampleToPlot(const double* v, double* out) const;

    // Scratch of the analysis, allocated once with the object; contents between runs mean nothing.
    alignas(TFFT::alignment) std::array<double, blockLength> lpSignal{}; // the signal a model is fitted to
    std::array<double, maxOrder + 1> lpCorrelation{};                    // its autocorrelation, lags 0..order
    std::array<double, maxOrder + 1> lpCoefficients{};                   // prediction coefficients, a[0] = 1
    // The all-pole model's impulse response, where a stage takes the model's spectrum from it (see
    // fitAllPoleModel); otherwise left as it was.
    alignas(TFFT::alignment) std::array<double, blockLength> lpResponse{};
    std::array<double, binCount> envelope{}; // raised envelope of peak compression, bins 1..4095
    std::array<double, binCount> binDb{};    // dB per bin; only the bins the resampling reads
    TPlotResampling
        plotResampling; // knots of the plot grid for binFreq and plotFreq as the last run saw them
    // Time window of each filter band: bandWindow[b][t] = d_b^(t+1), by repeated multiplication.
    std::array<std::array<double, blockLength>, 4> bandWindow{};

private:
    // lpCoefficients followed by zeros, the input of the predictor's transform; past maxOrder
    // always zero.
    alignas(TFFT::alignment) std::array<double, blockLength> lpPadded{};
    std::array<Complex, binCount> binTwiddle{}; // e^(-2 pi i k / 8192), k = 0..4095
    // The frequency tables plotResampling was planned for (bit for bit); plannedTables: it was.
    std::array<double, binCount> plannedBinFreq{};
    std::array<double, plotPoints> plannedPlotFreq{};
    bool plannedTables = false;
    // Set by each run: micSpectrum is that of the whole mic response (no delay cut it).
    bool micSpectrumUndelayed = false;

    // straightenAndGain with the raw filter response already in lpSignal.
    void straightenAndGainOfLpSignal();
    // Plans plotResampling unless it is planned for the current binFreq and plotFreq already.
    void planPlotResampling();
    // Fills bandWindow (once, at construction).
    void makeBandWindows();
    // Fits an all-pole model 1/A(z) of the given order and lag-window factor to lpSignal and leaves
    // in fftOut[0..4095] the reciprocal D[k] of the DFT of its 8192-sample impulse response. When
    // the model is stable and |lagFactor| <= 0.99 that response has died away to rounding, and D
    // is A itself at the bins; otherwise the response is computed into lpResponse and transformed.
    void fitAllPoleModel(int order, double lagFactor);
    // The same from the autocorrelation already in lpCorrelation.
    void fitAllPoleModelToCorrelation(int order, double lagFactor);
    // fftOut[k] = A(e^(2 pi i k / 8192)) for k = 0..4095 from lpCoefficients.
    void predictorSpectrum(int order);
    // binDb[k] = 20 log10(|x[k]| + 0.001) + offsetDb for the bins plotResampling reads.
    void spectrumToDb(const std::array<Complex, binCount>& x, double offsetDb);
};
