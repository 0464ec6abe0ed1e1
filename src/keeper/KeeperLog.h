#pragma once
#include <string>

// The keeper service's log: %ProgramData%\Quorvell Software\Pacewick\keeper.log,
// one time-stamped line per event, appended. The engine's diagnostic lines go
// there too when they report a failure or a value left in place, so that a
// refused write is never silent.
namespace keeper {

// Opens (making its folders) the log at the given path, or at the usual place
// when empty, and sends the engine's lines to it. False when it cannot be
// opened: the lines then go to the debugger's output (OutputDebugString).
bool OpenLog(const std::wstring& path = std::wstring());
void CloseLog();
// How many values the engine has deleted (from a Run or a BackUp key) since the log was opened.
unsigned long EngineDeletions();
std::wstring DefaultLogPath();

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Log(const char* format, ...);

}  // namespace keeper
