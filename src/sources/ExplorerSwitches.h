#pragma once
#include <windows.h>

#include <string>

// What Explorer is told about starting the programs of a Run key: Task
// Manager's switch per entry, and the policies that turn a whole list off.
// Pacewick starts nothing that Explorer would not; it only reads these.

// True when the entry of this name is switched off: a value of that name in
// the StartupApproved key (under root, in the native view) whose first byte is odd.
bool SwitchedOff(HKEY root, const char* approvedPath, const std::wstring& name);

// True when the policy value (DWORD 1) is set in either hive.
bool TurnedOffByPolicy(const char* policyName);
