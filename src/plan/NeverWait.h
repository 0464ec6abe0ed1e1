#pragma once
#include <string>
#include <vector>

#include "entry/StartupEntry.h"
#include "policy/ListedPrograms.h"

namespace plan {

// The machine's folders that the never-wait table's rows name: only an
// administrator may write in any of them. An empty one is not on this machine
// (no 32-bit system folder on 32-bit Windows) and holds nothing.
struct SystemFolders {
    std::wstring system;           // GetSystemDirectoryW
    std::wstring system32Bit;      // GetSystemWow64DirectoryW
    std::wstring programFiles;     // the native Program Files
    std::wstring programFilesX86;  // Program Files (x86)
};

// The folders of the running machine.
SystemFolders RunningFolders();

// True when a Run value starts one of the system components of the never-wait
// table (NeverWait.cpp): the program's file name in the row's folder, under the
// row's value name and with the row's arguments where it names them, for every
// command the entry starts. The command is read from its text alone, as the
// program starts it: environment references expanded, a leading quoted path or
// the path up to ".exe", `.` and `..` resolved, letter case aside; a relative
// path, a bare name, a network or device path match nothing. No file is
// opened. A Startup folder item never matches: what a shortcut opens is known
// only by reading the file, which anyone may have put there.
bool InNeverWaitTable(const StartupEntry& entry, const SystemFolders& folders);
// The same on the running machine's folders, which are looked up only for an
// entry whose program has a row's file name; or a program the administrator's
// StartAtLogOn lists name (the machine's policy and this user's), read once
// for a whole list by the caller, or here for one entry.
bool InNeverWaitTable(const StartupEntry& entry, const policy::ListedPrograms& startAtLogOn);
bool InNeverWaitTable(const StartupEntry& entry);
// True when every command a Run value starts names one of `programs`: a bare
// file name ("vpnui.exe") matches that file in any folder, letter case aside;
// a full path (environment references expanded, `.` and `..` resolved) matches
// that one file. The command is read as above; a Startup folder item, a logon
// task, a relative or network path match nothing.
bool InProgramList(const StartupEntry& entry, const policy::ListedPrograms& programs);
bool InProgramList(const StartupEntry& entry, const std::vector<std::wstring>& programs);

}  // namespace plan
