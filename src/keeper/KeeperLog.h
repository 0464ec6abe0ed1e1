#pragma once
#include <string>

// The keeper service's log: %ProgramData%\Quorvell Software\Pacewick\keeper.log,
// one time-stamped line per event, appended. The engine's diagnostic lines go
// there too when they report a failure or a value left in place, so that a
// refused write is never silent. Every line's control characters are escaped
// and its length is capped, since names come from Run keys and pipe clients;
// past 1 MB the log becomes keeper.old.log and a new one starts.
namespace keeper {

// Opens (making its folders, see LogFolder.h) the log below the given folder,
// or below %ProgramData% when empty, and sends the engine's lines to it. False
// when it cannot be opened or its folder is refused: the lines then go to the
// debugger's output (OutputDebugString).
bool OpenLog(const std::wstring& root = std::wstring());
void CloseLog();
// The log file below the given folder, or below %ProgramData% when empty.
std::wstring LogPath(const std::wstring& root = std::wstring());

constexpr long long kMaxLogBytes = 1024 * 1024;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Log(const char* format, ...);

// A refused request, or any other failure a client causes: a few lines a
// minute at most, so that a client cannot fill the log; the next line written
// says how many were left out. True when this one was written.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
bool LogRefusal(const char* format, ...);
// How many refusals have been written since the process started: what reports
// the same facts elsewhere (the Event Log) keeps within the same cap by it.
unsigned long RefusalsWritten();

}  // namespace keeper
