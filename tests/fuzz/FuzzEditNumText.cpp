// Fuzz target: any text typed into one of the window's numeric fields. The first byte picks the
// field; the rest is the text. A value the limit check accepts must be finite, must convert to an
// int binding without overflow, and must display within the field's text buffer and read back.
#include "FuzzSupport.h"
#include "controls/EditnumText.h"
#include "base/CFormat.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace {

struct TFieldSetup {
    const char* format;
    double low, high; // limits of the stored value
    double scale;
    bool dbDisplay;
};

// The window's fields (display range, delays, gain in dB, resonances) and a field with the
// default limits.
const TFieldSetup fields[] = {
    {"%2.0f", 20, 2000, 1, false}, {"%2.0f", 100, 20000, 1, false},    {"%2.0f", 1, 100, 1, false},
    {"%2.0f", 0, 1000, 1, false},  {"%2.1f", -20, 20, 1, false},       {"%2.1f", 50, 300, 1, false},
    {"%2.1f", 0.1, 10.0, 1, true}, {"%1.3e", -1e100, 1e100, 1, false}, {"%2.0f", -1e100, 1e100, 1000, false},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const TFieldSetup& field = fields[data[0] % (sizeof fields / sizeof fields[0])];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const double value = editNumTextValue(text, field.scale, field.dbDisplay);
    if (!(field.low <= value && value <= field.high))
        return 0; // refused: the field shows its old value again
    FUZZ_CHECK(std::isfinite(value));

    const std::int32_t n = editNumIntValue(value);
    if (std::fabs(value) < 2e9)
        FUZZ_CHECK(n == static_cast<std::int32_t>(std::floor(value + 0.5)));

    char shown[100];
    const double displayed = field.dbDisplay ? 20 * std::log10(value * field.scale) : value * field.scale;
    formatC(shown, sizeof shown, field.format, displayed);
    FUZZ_CHECK(std::strlen(shown) < sizeof shown);
    FUZZ_CHECK(std::isfinite(editNumTextValue(shown, field.scale, field.dbDisplay)));
    return 0;
}
