#include "base/CFormat.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

int formatC(char* buffer, std::size_t size, const char* format, ...) {
    // uselocale switches this thread only, so other threads and Qt's process locale are untouched.
    const locale_t previous = uselocale(cLocale());
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    uselocale(previous);
    return n;
}

std::string formatText(const char* format, ...) {
    char buffer[512];
    const locale_t previous = uselocale(cLocale());
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    uselocale(previous);
    return buffer;
}

double parseC(const char* text) {
    return strtod_l(text, nullptr, cLocale());
}
