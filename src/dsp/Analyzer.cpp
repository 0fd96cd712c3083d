#include "dsp/Analyzer.h"

#include <cmath>

TAnalyzer::TAnalyzer() : fft(std::make_unique<TFFT>()) {
    for (int i = 0; i < plotPoints; ++i)
        plotFreq[i] = 20 * std::pow(10.0, i * std::log10(1000.0) / 499);
    setFs(fs);
    setUnitImpulse(0);
    setUnitImpulse(1);
    makeBandWindows();
    for (int k = 0; k < binCount; ++k) {
        const double w = 2 * M_PI * k / blockLength;
        binTwiddle[k] = {std::cos(w), -std::sin(w)};
    }
}

void TAnalyzer::setFs(std::int32_t rate) {
    fs = rate;
    for (int k = 0; k < binCount; ++k)
        binFreq[k] = k * (1.0 / blockLength) * fs;
    binFreq[0] = 0.1;
}

void TAnalyzer::setUnitImpulse(int channel) {
    for (IrPair& p : irData)
        (channel == 0 ? p.mic : p.pickup) = 0.0;
    (channel == 0 ? irData[0].mic : irData[0].pickup) = 1.0;
}

void TAnalyzer::setChannel(int channel) {
    if (channel < 0 || channel >= channelCount)
        return;
    ChannelResult& c = channels[channel];
    c.filterIr = filterIr;
    c.filterSpectrum = filterSpectrum;
    c.filterDb = filterDb;
    if (analysisReady)
        channelFs[channel] = fs;
}
