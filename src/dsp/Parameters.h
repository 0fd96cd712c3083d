// The analysis parameters a user sets, one row each: the analyzer's start values, the window's
// fields and track bars, and the batch tool's options and usage text all come from this table.
// A new parameter is a new row (and the variable, field and option field that hold it).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// The rows of parameterTable, in its order.
enum class EParameter : std::uint8_t {
    delayMic,
    delayPickup,
    alpha,
    beta,
    gain,
    blend,
    helmholtz,
    firstBody,
    fMin,
    fMax,
    dbRange,
};

struct TParameter {
    EParameter id; // the row's own place in the table
    // Where the batch tool's usage text lists the option.
    enum ESection : std::uint8_t { analysis, display };

    const char* name; // in words
    const char* unit; // "" for a plain number
    double defaultValue, minimum, maximum;
    double smallStep, largeStep; // arrow keys, and with Ctrl (fields); arrow and page keys (track bars)
    const char* format;          // printf format of the window's field, one double
    bool whole;                  // whole numbers only (the track bar positions)
    // The batch tool's option, its value's placeholder, and the usage line's text, which reads
    // "<help> <minimum>..<maximum> (default <default><helpNote>)".
    const char* option;
    const char* optionValue;
    const char* help;
    const char* helpNote;
    ESection section;
};

// One row a line: id, name, unit, default, minimum, maximum, small step, large step, format, whole,
// option, its value, help, help note, section.
// clang-format off
inline constexpr std::array<TParameter, 11> parameterTable = {{
    {EParameter::delayMic, "Mic delay", "samples", 0, 0, 1000, 10, 100, "%2.0f", false, "--delay-mic", "N", "mic delay compensation, samples", "", TParameter::analysis},
    {EParameter::delayPickup, "Pickup delay", "samples", 0, 0, 1000, 10, 100, "%2.0f", false, "--delay-pickup", "N", "pickup delay compensation, samples", "", TParameter::analysis},
    {EParameter::alpha, "Straighten up response", "", 40, 0, 50, 1, 10, "%2.0f", true, "--alpha", "N", "straighten up response,", "", TParameter::analysis},
    {EParameter::beta, "Compress peaks", "", 30, 0, 50, 1, 10, "%2.0f", true, "--beta", "N", "compress peaks,", "", TParameter::analysis},
    {EParameter::gain, "Gain", "dB", 0, -20, 20, 0.1, 1, "%2.1f", false, "--gain", "DB", "gain in dB,", "", TParameter::analysis},
    {EParameter::blend, "Blend", "%", 100, 0, 100, 1, 10, "%2.0f", true, "--blend", "PERCENT", "blend: % corrected, the rest the bare pickup,", "", TParameter::analysis},
    {EParameter::helmholtz, "Helmholtz resonance", "Hz", 100, 50, 300, 1, 10, "%2.1f", false, "--helmholtz", "HZ", "Helmholtz resonance,", "", TParameter::analysis},
    {EParameter::firstBody, "First body resonance", "Hz", 200, 100, 500, 1, 10, "%2.1f", false, "--first-body", "HZ", "first body resonance,", "", TParameter::analysis},
    {EParameter::fMin, "Lower frequency", "Hz", 50, 20, 2000, 1, 20, "%2.0f", false, "--fmin", "HZ", "lower frequency,", "", TParameter::display},
    {EParameter::fMax, "Upper frequency", "Hz", 20000, 100, 20000, 20, 1000, "%2.0f", false, "--fmax", "HZ", "upper frequency,", "; kept >= fmin + 100", TParameter::display},
    {EParameter::dbRange, "Value range", "dB", 50, 1, 100, 1, 20, "%2.0f", false, "--db-range", "DB", "value range,", "", TParameter::display},
}};
// clang-format on

constexpr bool rowsInOrder() {
    for (std::size_t i = 0; i < parameterTable.size(); ++i)
        if (static_cast<std::size_t>(parameterTable[i].id) != i)
            return false;
    return true;
}
static_assert(rowsInOrder(), "each row of parameterTable stands at its EParameter");

constexpr const TParameter& parameter(EParameter p) {
    return parameterTable[static_cast<std::size_t>(p)];
}
constexpr double startValue(EParameter p) {
    return parameter(p).defaultValue;
}

// The display range stays at least this wide, Hz: the bound just edited gives way, the other stays.
constexpr double minDisplayWidth = 100;
constexpr double fMinAfterEdit(double fMin, double fMax) {
    return std::min(fMin, fMax - minDisplayWidth);
}
constexpr double fMaxAfterEdit(double fMin, double fMax) {
    return std::max(fMin + minDisplayWidth, fMax);
}
