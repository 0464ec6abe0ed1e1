#include "keeper/KeeperLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace keeper {
namespace {

std::mutex logMutex;
win::UniqueHandle logFile;

void WriteLine(const char* text) {
    // The engine's lines may begin with a line break: each line stands alone here.
    while (*text == '\n' || *text == '\r') ++text;
    if (*text == '\0') return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char line[1200];
    int length = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] %s", now.wYear,
                               now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                               GetCurrentThreadId(), text);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) >= sizeof line) length = sizeof line - 1;
    // Every line ends with one line break, whether or not its text brought one.
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
    if (length + 2 < static_cast<int>(sizeof line)) {
        line[length++] = '\r';
        line[length++] = '\n';
    }
    const std::lock_guard<std::mutex> guard(logMutex);
    DWORD written = 0;
    if (!logFile || !WriteFile(logFile.Get(), line, static_cast<DWORD>(length), &written, nullptr)) {
        line[length] = '\0';
        OutputDebugStringA(line);
    }
}

std::atomic<unsigned long> deletions{0};

bool StartsWith(const char* text, const char* start) { return std::strncmp(text, start, std::strlen(start)) == 0; }

// The engine's lines that say what went wrong or why a value stays; its chatter
// (each value it walks, each wait, each routine success or miss under the
// identical-copy rule) would fill the log at every change. Successful
// deletions are counted instead, for the keeper's own lines.
void EngineLine(const char* line) {
    while (*line == '\n' || *line == '\r') ++line;
    if (StartsWith(line, "Reg entry deleted SUCCESSFULLY")) {
        ++deletions;
        return;
    }
    static const char* const chatter[] = {"(", "Number of", "Change has occurred", "Waiting for a change",
                                          "Reg entry put SUCCESSFULLY", "Reg entry delete UNSUCCESSFULL"};
    for (const char* start : chatter)
        if (StartsWith(line, start)) return;
    WriteLine(line);
}

}  // namespace

std::wstring DefaultLogPath() {
    wchar_t data[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
    std::wstring folder = length > 0 && length < MAX_PATH ? std::wstring(data, length) : L"C:\\ProgramData";
    return folder + L"\\Quorvell Software\\Pacewick\\keeper.log";
}

bool OpenLog(const std::wstring& requested) {
    const std::wstring path = requested.empty() ? DefaultLogPath() : requested;
    // Each folder of the path, made where missing.
    for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    win::UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    {
        const std::lock_guard<std::mutex> guard(logMutex);
        logFile = std::move(file);
    }
    DiagnosticSinkHook() = EngineLine;
    if (!logFile) Log("Log file could not be opened (%lu)", error);
    return static_cast<bool>(logFile);
}

unsigned long EngineDeletions() { return deletions.load(); }

void CloseLog() {
    DiagnosticSinkHook() = nullptr;
    const std::lock_guard<std::mutex> guard(logMutex);
    logFile.Reset();
}

void Log(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    WriteLine(text);
}

}  // namespace keeper
