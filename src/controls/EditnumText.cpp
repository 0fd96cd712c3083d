#include "controls/EditnumText.h"

#include "base/CFormat.h"

#include <cmath>
#include <cstring>
#include <limits>

double editNumTextValue(std::string_view latin1, double scale, bool dbDisplay) {
    // A terminated copy of the part that is read: the conversion below stops at the first NUL.
    char text[editNumReadLength + 1];
    const std::size_t n = latin1.size() < editNumReadLength ? latin1.size() : editNumReadLength;
    std::memcpy(text, latin1.data(), n);
    text[n] = '\0';
    const double t = parseC(text);
    if (dbDisplay)
        return std::pow(10.0, t * 0.05) / scale;
    if (std::strpbrk(text, "eE") != nullptr)
        return t;
    return t / scale;
}

std::int32_t editNumIntValue(double value) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    // floor, not truncation toward zero: truncating would round -1 to 0 and -2.7 to -2.
    double r = std::floor(value + 0.5);
    r = r > hi ? hi : (r >= lo ? r : lo);
    return static_cast<std::int32_t>(r);
}
