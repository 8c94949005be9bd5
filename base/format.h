// Bounded formatting into fixed buffers. A text that does not fit fails and
// leaves an empty string, so a cut path is never used as if it were whole.
#ifndef BASE_FORMAT_H
#define BASE_FORMAT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

// Formats printf-style into `buffer` of `size` characters, the terminator
// included. 1 when the whole text fits; else 0 with "" in `buffer`.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline int FormatText(char *buffer, size_t size, const char *format, ...)
{
    if (!buffer || size == 0)
        return 0;
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    // msvcrt: -1 when the text is longer than the count; exactly the count
    // without a terminator, which the last byte then supplies.
    int written = _vsnprintf(buffer, size - 1, format, arguments);
    int fits = written >= 0;
#else
    int written = vsnprintf(buffer, size, format, arguments);
    int fits = written >= 0 && (size_t)written < size;
#endif
    va_end(arguments);
    buffer[size - 1] = 0;
    if (!fits)
        buffer[0] = 0;
    return fits;
}

#endif
