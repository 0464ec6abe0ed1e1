#pragma once
// The one path of every diagnostic line the program writes: fixed lines on
// standard output, flushed at once, so that the lines of the window thread and
// of the monitors keep their order even when standard output is a file or a pipe.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

// Whether diagnostic lines are written. Always on in the program; a benchmark
// turns them off to time the registry work rather than the console.
inline std::atomic<bool>& DiagnosticsEnabled() {
    static std::atomic<bool> enabled{true};
    return enabled;
}

// Where the lines go instead of standard output: the keeper service has no
// console and writes them, time-stamped, to its log file.
using DiagnosticSink = void (*)(const char* line);
inline std::atomic<DiagnosticSink>& DiagnosticSinkHook() {
    static std::atomic<DiagnosticSink> sink{nullptr};
    return sink;
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void PrintLine(const char* format, ...) {
    if (!DiagnosticsEnabled()) return;
    va_list arguments;
    va_start(arguments, format);
    if (const DiagnosticSink sink = DiagnosticSinkHook().load()) {
        char line[1024];
        std::vsnprintf(line, sizeof line, format, arguments);
        sink(line);
    } else {
        std::vprintf(format, arguments);
        std::fflush(stdout);
    }
    va_end(arguments);
}

// The same for lines made of wide text (the Task Scheduler's names and triggers).
inline void PrintWideLine(const wchar_t* format, ...) {
    if (!DiagnosticsEnabled()) return;
    va_list arguments;
    va_start(arguments, format);
    std::vwprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}
