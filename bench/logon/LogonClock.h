#pragma once
// What the log-on programs share: one clock for every process and an append-only
// line log that several processes write at once.
// Windows 8's precise system clock: QueryPerformanceCounter may count from each
// process's own start under Wine, the system time is the same for all of them
// (and for the driver script's `date +%s%3N`).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "win/Scoped.h"

// Milliseconds since 1970, as the Linux side counts them.
inline double UnixMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks) / 10000.0 - 11644473600000.0;
}

// CPU seconds this thread has used: a busy machine stretches work counted in
// them as it would a real program's.
inline double ThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Spins until this thread has used that much more CPU time.
inline void BurnCpu(double seconds) {
    const double until = ThreadCpuSeconds() + seconds;
    volatile unsigned sink = 0;
    while (ThreadCpuSeconds() < until)
        for (unsigned i = 0; i < 2000000; ++i) sink = sink * 31 + i;
}

// A file every line goes to the end of in one write, so that lines of several
// processes never mix.
class LineLog {
public:
    explicit LineLog(const char* path)
        : file_(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool Ok() const { return static_cast<bool>(file_); }
    template <typename... Args>
    void Line(const char* format, Args... args) {
        char line[256];
        const int length = std::snprintf(line, sizeof line, format, args...);
        if (length <= 0) return;
        DWORD written = 0;
        WriteFile(file_.Get(), line, static_cast<DWORD>(std::min<int>(length, sizeof line - 1)), &written, nullptr);
    }

private:
    win::UniqueHandle file_;
};
