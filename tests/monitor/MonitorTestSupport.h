#pragma once
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "monitor/RunKeyMonitor.h"

namespace monitor_test {

// Polls the condition until it holds or the time is up; the last answer.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end) return condition();
        Sleep(5);
    }
    return true;
}

// True once no monitor has begun a take-over for quietMs, within timeoutMs.
inline bool WaitForRest(DWORD quietMs = 400, DWORD timeoutMs = 20000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    long seen = RunKeyTakeOverCount();
    ULONGLONG quietSince = GetTickCount64();
    while (GetTickCount64() < end) {
        Sleep(20);
        const long now = RunKeyTakeOverCount();
        if (now != seen) {
            seen = now;
            quietSince = GetTickCount64();
        } else if (GetTickCount64() - quietSince >= quietMs) {
            return true;
        }
    }
    return false;
}

// Both monitors for the life of the object; declare it after the sandbox, so
// that they stop before the sandbox's keys go.
class RunningMonitors {
public:
    RunningMonitors() { StartRunKeyMonitors(); }
    ~RunningMonitors() { StopRunKeyMonitors(); }
    RunningMonitors(const RunningMonitors&) = delete;
    RunningMonitors& operator=(const RunningMonitors&) = delete;
};

// Sends standard output (the diagnostic lines) into a file for the life of the
// object; Text() gives what was written so far.
class StdoutRedirect {
public:
    explicit StdoutRedirect(const char* target = nullptr) {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        char file[MAX_PATH] = {};
        GetTempFileNameA(folder, "pwo", 0, file);
        path_ = target ? target : file;
        if (target) DeleteFileA(file);
        std::fflush(stdout);
        saved_ = _dup(1);
        const int opened = _open(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
        _dup2(opened, 1);
        _close(opened);
    }
    ~StdoutRedirect() {
        std::fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
        if (path_ != "NUL") DeleteFileA(path_.c_str());
    }
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

    std::string Text() const {
        std::fflush(stdout);
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
    int saved_ = -1;
};

}  // namespace monitor_test
