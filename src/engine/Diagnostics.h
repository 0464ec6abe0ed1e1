#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdio>

// Whether the engine's diagnostic lines are written. Always on in the program;
// a benchmark turns them off to time the registry work rather than the console.
inline std::atomic<bool>& DiagnosticsEnabled() {
    static std::atomic<bool> enabled{true};
    return enabled;
}

// The engine's diagnostic lines go to standard output and are flushed at once,
// so that the lines of the window thread and of the two monitors keep their order
// even when standard output is a file or a pipe.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void PrintLine(const char* format, ...) {
    if (!DiagnosticsEnabled()) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
