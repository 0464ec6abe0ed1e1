#pragma once
#include <windows.h>

#include <string>

namespace launch {

// Starts a program through the desktop shell's own process (Explorer), so that
// it runs with the shell's token, unelevated, as Explorer starts Run values.
// Needs COM on the calling thread (the window thread's apartment). The result
// of the shell's ShellExecute: S_OK once the shell has the request.
HRESULT StartThroughDesktopShell(const std::wstring& program, const std::wstring& arguments,
                                 const std::wstring& folder);

}  // namespace launch
