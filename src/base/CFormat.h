// printf-style formatting that always uses the C locale ("." as decimal point), whatever locale
// the process runs in, and bounded copying into the fixed text fields of the plot records.
#pragma once

#include <cstddef>
#include <string>

// As snprintf into buffer (always terminated when size > 0); returns snprintf's result.
int formatC(char* buffer, std::size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The same as a string (of at most 511 characters).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// As strtod on text, read in the C locale: leading blanks, the longest numeric prefix, 0.0 if none.
double parseC(const char* text);

// Copies src into a fixed text field, cutting it to fit and terminating it.
template <std::size_t N> void copyText(char (&field)[N], const char* src) {
    std::size_t i = 0;
    for (; i + 1 < N && src[i] != '\0'; ++i)
        field[i] = src[i];
    field[i] = '\0';
}
