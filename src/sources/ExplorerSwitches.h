#pragma once
#include <windows.h>

#include <string>

#include "registry/RegKey.h"

// What Explorer is told about starting the programs of a Run key: Task
// Manager's switch per entry, and the policies that turn a whole list off.
// Pacewick starts nothing that Explorer would not; it only reads these.

// Task Manager's switches for one Run key: the StartupApproved key under root
// (native view), opened once for one pass over the Run key.
class StartupSwitches {
public:
    StartupSwitches(HKEY root, const wchar_t* approvedPath);
    // True when the entry of this name is switched off: a value of that name
    // whose first byte is odd.
    bool Off(const std::wstring& name) const;

private:
    registry::Key approved_;
};

// True when the policy value (DWORD 1) is set in either hive.
bool TurnedOffByPolicy(const wchar_t* policyName);
