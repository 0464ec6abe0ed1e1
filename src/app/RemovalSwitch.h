#pragma once
#include <windows.h>

// The package's removal runs "pacewick.exe -RESTORE-FOR-REMOVAL UILEVEL" as the
// account that removes it, before the keeper service is stopped and before any
// file goes. It ends this session's running Pacewick as its Exit button does
// (waiting at most kRemovalWait for it), then puts this account's entries, and
// only this account's, back into its Run key: the machine's are the keeper's
// (pacewick-keeper.exe -restore-for-removal, run by the installer as the
// system). When the instance does not end or an entry is not back, it says why
// (a message box when the installer shows its window, UILEVEL 3 and up; always
// a diagnostic line) and fails, which makes the installer undo the removal.
constexpr DWORD kRemovalWait = 10000;

// True when the switch was present (start-up then stops), with the exit code
// for the installer: 0 done, else failed.
bool HandleRemovalSwitch(int* exitCode);
bool HandleRemovalSwitch(const wchar_t* commandLine, int* exitCode);
