#pragma once
// Helpers the test folders share: bounded waits, captured output, fixtures, and record_launch.exe's log.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "EventRecorder.h"
#include "launch/Launch.h"
#include "launch/Launcher.h"
#include "takeover/OwnedEngine.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

// An entry's text as the tests write and compare it (UTF-8), and back.
inline std::string U8(const std::wstring& text) { return win::Utf8ForDisplay(text); }
inline std::wstring W(const std::string& text) { return win::Wide(text).value_or(L"\uFFFD"); }

// Polls until the condition holds; false when it still fails after the timeout.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000) {
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !condition(); Sleep(10))
        if (GetTickCount64() > end) return condition();
    return true;
}

// A visible top-level window of this process by class and caption (any caption: nullptr).
inline HWND WaitForVisible(const char* className, const char* caption, DWORD timeoutMs = 10000) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowA(className, caption)) && IsWindowVisible(found); }, timeoutMs);
    return found;
}

// A control's text; a message box's text is its control 0xFFFF.
inline std::string Text(HWND window, int id) {
    char text[1024] = {};
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

// Clicks a message box's button as the user would; true once the box is gone.
inline bool Press(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitUntil([&] { return !IsWindow(box); });
}

// What one call prints.
template <typename Action>
std::string OutputOf(Action action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

inline int CountOf(const std::string& text, const std::string& line) {
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size())) ++count;
    return count;
}

// The test program's own path and folder; the fixtures are built beside it.
inline std::string TestProgramPath() {
    char path[MAX_PATH] = {};
    return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}
inline std::string FixtureDir() {
    const std::string path = TestProgramPath();
    return path.substr(0, path.find_last_of('\\'));
}

// A program started with this command line; empty when it cannot start. With `thread` the caller owns its
// first thread's handle (to resume a suspended start); `inherit` hands it this process's output.
inline win::UniqueHandle StartProgram(std::wstring command, DWORD flags = 0, HANDLE* thread = nullptr,
                                      BOOL inherit = FALSE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, inherit, flags, nullptr, nullptr, &startup, &started))
        return win::UniqueHandle();
    thread ? void(*thread = started.hThread) : void(CloseHandle(started.hThread));
    return win::UniqueHandle(started.hProcess);
}
// A process's exit code once it ends; 99 when it cannot be read, STILL_ACTIVE when it runs on past `ms`.
inline DWORD ExitCodeOf(const win::UniqueHandle& process, DWORD ms = 60000) {
    DWORD code = 99;
    WaitForSingleObject(process.Get(), ms);
    return GetExitCodeProcess(process.Get(), &code) ? code : 99;
}

// The recorder an engine reports to, made before the engine.
struct RecordedEngineEvents {
    EventRecorder events;
};

// A test engine over the sandboxed keys: no logon tasks, the BackUp places read now, events recorded.
class TestEngine : public RecordedEngineEvents, public takeover::OwnedEngine {
public:
    explicit TestEngine(takeover::ScopeSet written = takeover::kEveryScope,
                        takeover::ScopeSet listed = takeover::kEveryScope,
                        takeover::CompanyReading companies = takeover::CompanyReading::Read)
        : takeover::OwnedEngine(written, listed, companies, &events), launcher(model) {
        model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
        const bool enabled = DiagnosticsEnabled().exchange(false);
        manager.RebuildList();
        DiagnosticsEnabled() = enabled;
        events.Take();  // a test's events begin with its own first step
    }
    // The list once the companies asked for so far are read (on the model's own thread).
    EntryList List() {
        model.WaitForCompanies(10000);
        return model.CopyList();
    }

    launch::Launcher launcher;
};

// A fresh PACEWICK_LAUNCH_LOG for record_launch.exe; launches go by CreateProcess meanwhile to inherit it.
class LaunchLog {
public:
    LaunchLog() : path_(TestProgramPath() + "." + std::to_string(GetCurrentProcessId()) + ".launch.log") {
        DeleteFileA(path_.c_str());
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", path_.c_str());
        launch::SetElevationCheck([] { return false; });
    }
    ~LaunchLog() {
        launch::SetElevationCheck(nullptr);
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", nullptr);
        DeleteFileA(path_.c_str());
    }
    LaunchLog(const LaunchLog&) = delete;
    LaunchLog& operator=(const LaunchLog&) = delete;

    // The logged command lines, sorted: the started programs run side by side.
    std::vector<std::string> Lines() const {
        std::ifstream file(path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    // The lines once `count` are there (at most 30 s), a moment later so that a second start would show.
    std::vector<std::string> WaitFor(std::size_t count) const {
        WaitUntil([&] { return Lines().size() >= count; }, 30000);
        Sleep(300);
        return Lines();
    }
    // A command that starts the recorder with these arguments.
    static std::string Command(const std::string& arguments) {
        return "\"" + FixtureDir() + "\\record_launch.exe\" " + arguments;
    }

private:
    std::string path_;
};
