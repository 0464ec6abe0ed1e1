#pragma once
#include <cstdarg>
#include <cstdio>

// The engine's diagnostic lines go to standard output and are flushed at once,
// so that the lines of the window thread and of the two monitors keep their order
// even when standard output is a file or a pipe.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void PrintLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
