#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace policy {

// The programs a policy list names: each REG_SZ value's data, a file name
// ("vpnui.exe") or a full path, as the administrator wrote it. Values of
// another type, empty ones and ones longer than MAX_PATH are left out and
// counted in `ignored`; a missing key is an empty list.
struct ProgramList {
    std::vector<std::wstring> programs;
    std::vector<std::wstring> ignored;  // the names of the values left out
};
ProgramList ReadProgramList(HKEY root, const wchar_t* policyKey, const wchar_t* listName);

// A value of a policy list, in a place the table allows for it, left out:
// "StartAtLogOn\<value's name>" and whether it is the machine's.
struct IgnoredListValue {
    std::wstring value;
    bool machine;
};
// Every such value of every list, each said once in a diagnostic line (its
// name shown as the program's other output shows another's text).
std::vector<IgnoredListValue> IgnoredListValues();

}  // namespace policy
