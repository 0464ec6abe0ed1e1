#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace launch {

class DesktopShell;

// Starts a command line as a new process (environment references expanded, as
// Windows does for Run values); nothing waits for it. False, after its line,
// when the process could not be started. Takes no lock and touches no key:
// callers copy what they start from the engine first.
// Any process may write the Run and BackUp keys, so an elevated Pacewick never
// starts what they name with its own token: it asks the desktop shell to start
// it, unelevated, or starts nothing. `shell`: the desktop shell kept for a
// batch of starts on this thread (null: one found for this start).
bool LaunchCommand(const char* command, DesktopShell* shell = nullptr);
// Opens a file with the shell's open verb, as Explorer starts a Startup folder
// item; the elevated way is the same as for a command.
bool OpenItem(const std::wstring& path, DesktopShell* shell = nullptr);

// What LaunchCommand asks of the system; tests hand in stand-ins (null: the real one).
using ElevationCheck = std::function<bool()>;
using ShellStart = std::function<HRESULT(const std::wstring& program, const std::wstring& arguments,
                                         const std::wstring& folder)>;
void SetElevationCheck(ElevationCheck check);
void SetShellStart(ShellStart start);

}  // namespace launch
