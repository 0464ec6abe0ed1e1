#pragma once
#include <string>

namespace win {

// The full path of the running executable, as long as Windows gives it; empty
// when Windows cannot say.
std::wstring RunningExecutable();
// The same path in UTF-8, for the callers that hand it on as 8-bit text (the
// program's own Run value); empty when it has no exact UTF-8 form.
std::string RunningExecutablePath();

// A file beside the running executable, by its full path (empty when the
// executable's path is unknown): never a bare name, which Windows would look
// for in the working folder first.
std::wstring BesideExecutable(const wchar_t* fileName);

// A program of Windows's own folder (hh.exe), or of its system folder
// (msiexec.exe), by its full path. The shared Windows folder, never a
// per-user one that a terminal-server session may be given.
std::wstring InWindowsFolder(const wchar_t* fileName);
std::wstring InSystemFolder(const wchar_t* fileName);

// First thing in every executable: DLLs loaded at run time come from the
// system folder only, never from the program's own or the working folder,
// which a user may have filled when an administrator starts a copy there.
void LoadLibrariesFromSystemFolderOnly();

}  // namespace win
