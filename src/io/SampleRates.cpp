#include "io/SampleRates.h"

std::string sampleRateNote(std::int32_t micRate, std::int32_t pickupRate, std::int32_t usedRate) {
    if (micRate == 0 || pickupRate == 0 || micRate == pickupRate)
        return {};
    return "the mic response is at " + std::to_string(micRate) + " Hz and the pickup response at " +
           std::to_string(pickupRate) + " Hz; the analysis uses " + std::to_string(usedRate) +
           " Hz, the rate of the file loaded last";
}
