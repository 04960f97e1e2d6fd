// Formatting of texts, printf-style, for the few conversions the system's texts use: %s, %c,
// %d and %i, %u, %x and %X (with the l and ll sizes), %%; the '-' and '0' flags, a width, and a
// precision ('.N' or '.*': at most N characters of a string, at least N digits of a number).
// Our own, small, instead of the C library's: the stub carries it in every archive.
#pragma once

#include <cstdarg>
#include <cstddef>

// As snprintf: writes at most size - 1 characters and a NUL (when size > 0), and returns the
// length the whole text would have.
int FormatText(char* out, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int FormatTextV(char* out, size_t size, const char* format, va_list args);
