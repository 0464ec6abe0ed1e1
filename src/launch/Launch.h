#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "win/Scoped.h"

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
// `started`, when given, receives the new process when there is one to have
// (the desktop shell's way gives none).
bool LaunchCommand(const std::wstring& command, DesktopShell* shell = nullptr, win::UniqueHandle* started = nullptr);
// Opens a file with the shell's open verb, as Explorer starts a Startup folder
// item; the elevated way is the same as for a command. A shortcut (.lnk) starts
// its target with its own arguments, working folder and window, either way;
// one that cannot be read, or names no existing file, starts nothing (false,
// after its line).
bool StartItem(const std::wstring& path, DesktopShell* shell = nullptr, win::UniqueHandle* started = nullptr);

// What LaunchCommand asks of the system; tests hand in stand-ins (null: the real one).
using ElevationCheck = std::function<bool()>;
using ShellStart = std::function<HRESULT(const std::wstring& program, const std::wstring& arguments,
                                         const std::wstring& folder, int show)>;
void SetElevationCheck(ElevationCheck check);
void SetShellStart(ShellStart start);

}  // namespace launch
