#include "keeper/KeeperLog.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "keeper/LogFolder.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace keeper {
namespace {

constexpr std::size_t kMaxText = 512;  // bytes of a line's text, its escapes included
constexpr ULONGLONG kRefusalIntervalMs = 60 * 1000;
constexpr unsigned kRefusalsPerInterval = 5;

std::mutex logMutex;  // the folder, the file and its size
LogFolder folder;
win::UniqueHandle logFile;
long long logSize = 0;

long long SizeOf(const win::UniqueHandle& file) {
    LARGE_INTEGER size{};
    return file && GetFileSizeEx(file.Get(), &size) ? size.QuadPart : 0;
}

// The length of the UTF-8 character at `text`; 0 when its bytes make none (a
// stray or overlong byte, a surrogate, past U+10FFFF). Stops at the NUL.
std::size_t CharacterLength(const unsigned char* text) {
    const unsigned char lead = text[0];
    const std::size_t length = lead < 0x80                  ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    for (std::size_t at = 1; at < length; ++at)
        if ((text[at] & 0xC0) != 0x80) return 0;
    if ((lead == 0xE0 && text[1] < 0xA0) || (lead == 0xED && text[1] > 0x9F) || (lead == 0xF0 && text[1] < 0x90) ||
        (lead == 0xF4 && text[1] > 0x8F))
        return 0;
    return length;
}

// Control characters (C0, DEL, C1) and the marks that break or reorder a line
// as shown: the line and paragraph separators, the direction marks and overrides.
bool IsControl(const unsigned char* text, std::size_t length) {
    if (length == 1) return text[0] < 0x20 || text[0] == 0x7F;
    if (length == 2) return text[0] == 0xC2 && text[1] < 0xA0;
    if (length != 3 || text[0] != 0xE2) return false;
    const unsigned char last = text[2];
    return (text[1] == 0x80 && (last == 0x8E || last == 0x8F || (last >= 0xA8 && last <= 0xAE))) ||
           (text[1] == 0x81 && last >= 0xA6 && last <= 0xA9);
}

// The text as it may stand in the log: each control character, and each byte
// that is no whole UTF-8 character, as \xHH, so that a name with line breaks
// stays on its line; cut on a character's boundary, and marked, past kMaxText.
std::string Escaped(const char* text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (auto at = reinterpret_cast<const unsigned char*>(text); *at != '\0';) {
        const std::size_t length = CharacterLength(at);
        const std::size_t bytes = length ? length : 1;
        std::string piece;
        if (length && !IsControl(at, length))
            piece.assign(reinterpret_cast<const char*>(at), length);
        else
            for (const unsigned char* byte = at; byte < at + bytes; ++byte)
                piece += {'\\', 'x', kHex[*byte >> 4], kHex[*byte & 0xF]};
        if (out.size() + piece.size() > kMaxText) return out + " [cut]";
        out += piece;
        at += bytes;
    }
    return out;
}

// The line is UTF-8, whatever the code page; a byte that is no whole character shows as U+FFFD.
void ToDebugger(const std::string& line) {
    std::wstring wide(line.size() + 1, L'\0');  // never more UTF-16 units than UTF-8 bytes
    const int length = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    OutputDebugStringW(length > 0 ? wide.c_str() : L"");
}

// Under logMutex: false when the line did not go into the file. A line that
// would take the file past its cap starts a new one; `why` says why it could not.
bool Append(const std::string& line, std::string* why) {
    const long long size = static_cast<long long>(line.size());
    if (logFile && logSize + size > kMaxLogBytes) {
        logFile.Reset();
        logFile = folder.Rotate(why);
        logSize = SizeOf(logFile);
    }
    DWORD written = 0;
    if (!logFile || logSize + size > kMaxLogBytes ||
        !WriteFile(logFile.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        return false;
    logSize += written;
    return true;
}

void WriteLine(const char* text) {
    // The engine's lines may begin and end with line breaks: each line stands alone here.
    while (*text == '\n' || *text == '\r') ++text;
    std::string body(text);
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    if (body.empty()) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentThreadId());
    const std::string line = stamp + Escaped(body.c_str()) + "\r\n";
    std::string why;
    bool written = false;
    {
        const std::lock_guard<std::mutex> guard(logMutex);
        written = Append(line, &why);
    }
    // Outside the lock: with a debugger attached, OutputDebugString waits for it.
    if (!why.empty()) ToDebugger("Pacewick keeper: log not rotated: " + why + "\r\n");
    if (!written) ToDebugger(line);
}

void WriteFormatted(const char* format, va_list arguments) {
    char text[1024];  // longer than kMaxText: a longer text is cut, and marked, by Escaped
    std::vsnprintf(text, sizeof text, format, arguments);
    WriteLine(text);
}

std::mutex refusalMutex;
ULONGLONG refusalWindowStart = 0;
unsigned refusalsWritten = 0;
unsigned long refusalsLeftOut = 0;
std::atomic<unsigned long> refusalsWrittenTotal{0};

// Whether a refusal is written now; `leftOut` takes how many were left out in
// an interval that has just ended.
bool RefusalAdmitted(unsigned long* leftOut) {
    const std::lock_guard<std::mutex> guard(refusalMutex);
    const ULONGLONG now = GetTickCount64();
    if (now - refusalWindowStart >= kRefusalIntervalMs) {
        *leftOut = std::exchange(refusalsLeftOut, 0);
        refusalsWritten = 0;
        refusalWindowStart = now;
    }
    if (refusalsWritten == kRefusalsPerInterval) {
        ++refusalsLeftOut;
        return false;
    }
    ++refusalsWritten;
    return true;
}

// A new interval from now; how many were left out in the one it ends.
unsigned long RestartRefusals() {
    const std::lock_guard<std::mutex> guard(refusalMutex);
    refusalsWritten = 0;
    refusalWindowStart = GetTickCount64();
    return std::exchange(refusalsLeftOut, 0);
}

void ReportLeftOut(unsigned long leftOut) {
    if (leftOut)
        Log("Refusals left out of this log: %lu (at most %u a minute are written)", leftOut, kRefusalsPerInterval);
}

bool StartsWith(const char* text, const char* start) { return std::strncmp(text, start, std::strlen(start)) == 0; }

// The engine's lines that say what went wrong or why an item stays (the keeper
// chooses them by event, see KeeperEvents); the watchers' chatter (each wait,
// each wake) would fill the log at every change.
void EngineLine(const char* line) {
    while (*line == '\n' || *line == '\r') ++line;
    static const char* const chatter[] = {"(", "Number of", "Change has occurred", "Waiting for a change"};
    for (const char* start : chatter)
        if (StartsWith(line, start)) return;
    // What a user can make happen again and again (a folder made first or a
    // link planted, a held file kept open): capped as the refusals are.
    static const char* const capped[] = {"Startup folder items not moved", "Startup item not deleted"};
    for (const char* start : capped)
        if (StartsWith(line, start)) {
            LogRefusal("%s", line);
            return;
        }
    WriteLine(line);
}

// The machine's own folder, as Windows keeps it, whatever the environment of
// the process says: the service and its removal action must agree on one log.
std::wstring ProgramData() {
    PWSTR folder = nullptr;
    std::wstring path = L"C:\\ProgramData";
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr, &folder))) path = folder;
    CoTaskMemFree(folder);
    return path;
}

}  // namespace

std::wstring LogPath(const std::wstring& root) {
    return LogFolder::PathBelow(root.empty() ? ProgramData() : root, kLogName);
}

bool OpenLog(const std::wstring& root) {
    std::string why;
    bool opened = false;
    {
        const std::lock_guard<std::mutex> guard(logMutex);
        logFile.Reset();
        if (folder.Open(root.empty() ? ProgramData() : root, &why)) logFile = folder.OpenFile(kLogName, &why);
        if (!logFile) folder.Close();
        logSize = SizeOf(logFile);
        opened = static_cast<bool>(logFile);
    }
    RestartRefusals();
    DiagnosticSinkHook() = EngineLine;
    if (!opened) Log("Log file not written: %s", why.c_str());
    return opened;
}


void CloseLog() {
    ReportLeftOut(RestartRefusals());
    DiagnosticSinkHook() = nullptr;
    const std::lock_guard<std::mutex> guard(logMutex);
    logFile.Reset();
    folder.Close();
}

void Log(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteFormatted(format, arguments);
    va_end(arguments);
}

bool LogRefusal(const char* format, ...) {
    unsigned long leftOut = 0;
    const bool admitted = RefusalAdmitted(&leftOut);
    ReportLeftOut(leftOut);
    if (!admitted) return false;
    ++refusalsWrittenTotal;
    va_list arguments;
    va_start(arguments, format);
    WriteFormatted(format, arguments);
    va_end(arguments);
    return true;
}

unsigned long RefusalsWritten() { return refusalsWrittenTotal.load(); }

}  // namespace keeper
